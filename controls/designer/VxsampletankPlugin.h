// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform display in Qt Designer's widget box.
#pragma once

#include <QObject>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

class VxsampletankPlugin : public QObject, public QDesignerCustomWidgetInterface {
    Q_OBJECT
    Q_INTERFACES(QDesignerCustomWidgetInterface)

  public:
    explicit VxsampletankPlugin(QObject* parent = nullptr) : QObject(parent) {}

    QString name() const override { return QStringLiteral("TvxSampleTank"); }
    QString group() const override { return QStringLiteral("Xobj"); }
    QString includeFile() const override { return QStringLiteral("controls/Vxsampletank.h"); }
    QString toolTip() const override { return QStringLiteral("Waveform display"); }
    QString whatsThis() const override {
        return QStringLiteral("Shows and edits up to 256 8-bit samples as a curve or a spectrum");
    }
    QIcon icon() const override { return {}; }
    bool isContainer() const override { return false; }
    QWidget* createWidget(QWidget* parent) override;
    QString domXml() const override;
};
