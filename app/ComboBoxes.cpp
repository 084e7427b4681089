// SPDX-License-Identifier: GPL-3.0-or-later
#include "ComboBoxes.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QScrollBar>
#include <QStyle>

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
