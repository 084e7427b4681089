// SPDX-License-Identifier: GPL-3.0-or-later
// The value pot in Qt Designer's widget box.
#pragma once

#include <QObject>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

class VxpotlabPlugin : public QObject, public QDesignerCustomWidgetInterface {
    Q_OBJECT
    Q_INTERFACES(QDesignerCustomWidgetInterface)

  public:
    explicit VxpotlabPlugin(QObject* parent = nullptr) : QObject(parent) {}

    QString name() const override { return QStringLiteral("Tvxpotlab"); }
    QString group() const override { return QStringLiteral("XObj"); }
    QString includeFile() const override { return QStringLiteral("controls/Vxpotlab.h"); }
    QString toolTip() const override { return QStringLiteral("Value pot"); }
    QString whatsThis() const override {
        return QStringLiteral("A label holding an integer that the mouse turns like a knob");
    }
    QIcon icon() const override { return {}; }
    bool isContainer() const override { return false; }
    QWidget* createWidget(QWidget* parent) override;
    QString domXml() const override;
};
