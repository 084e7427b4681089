// SPDX-License-Identifier: GPL-3.0-or-later
#include "ComboBoxes.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QEvent>
#include <QScrollBar>
#include <QStyle>

#include <mutex>

namespace {

class WheelNeedsFocus : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        return widget != nullptr && !widget->hasFocus();
    }
};

}  // namespace

void RequireFocusForWheel(QWidget& window) {
    auto* filter = new WheelNeedsFocus(&window);
    for (QComboBox* combo : window.findChildren<QComboBox*>()) {
        combo->setFocusPolicy(Qt::StrongFocus);
        combo->installEventFilter(filter);
    }
}

void FitListToItems(QComboBox& combo, int rows) {
    // A style that opens the list as a menu ignores the row limit; a list view keeps to it.
    combo.setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    combo.setMaxVisibleItems(rows);
    QAbstractItemView& list = *combo.view();
    const int scrollBar = list.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &list);
    list.setMinimumWidth(list.sizeHintForColumn(0) + scrollBar + 2 * list.frameWidth() + 4);
}

namespace {

class NamedCombo : public QAccessibleWidget {
  public:
    explicit NamedCombo(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name && !combo()->accessibleName().isEmpty())
            return combo()->accessibleName();
        if (kind == QAccessible::Name || kind == QAccessible::Value)
            return combo()->currentText();
        return QAccessibleWidget::text(kind);
    }
    // The list of items, as Qt's own gives it.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(combo()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr && child->object() == combo()->view() ? 0 : -1;
    }
    QStringList actionNames() const override {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override {
        if (name != showMenuAction() && name != pressAction())
            return QAccessibleWidget::doAction(name);
        if (combo()->view()->isVisible())
            combo()->hidePopup();
        else
            combo()->showPopup();
    }

  private:
    QComboBox* combo() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* namedComboFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("QComboBox") && object != nullptr && object->isWidgetType())
        return new NamedCombo(static_cast<QComboBox*>(object));
    return nullptr;
}

}  // namespace

void NameCombosByTheirLabels() {
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(namedComboFactory); });
}
