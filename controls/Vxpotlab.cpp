// SPDX-License-Identifier: GPL-3.0-or-later
#include "Vxpotlab.h"

#include "Contrast.h"
#include "Int32.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QWheelEvent>

#include <algorithm>
#include <mutex>
#include <utility>

namespace {

// What a screen reader finds: a slider with the pot's name, its limits and its value, read as
// the text the pot shows (a note name, say). The text is also given as the slider's own text,
// for bridges that carry a value only as a number (AT-SPI in Qt 6.4).
class PotAccessible : public QAccessibleWidget,
                      public QAccessibleValueInterface,
                      public QAccessibleTextInterface {
  public:
    explicit PotAccessible(Tvxpotlab* pot) : QAccessibleWidget(pot, QAccessible::Slider) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name && pot()->accessibleName().isEmpty())
            return pot()->toolTip();
        if (kind == QAccessible::Value)
            return pot()->text();
        return QAccessibleWidget::text(kind);
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QVariant currentValue() const override { return pot()->State(); }
    void setCurrentValue(const QVariant& value) override {
        pot()->ChangeByUser(value.toLongLong());
    }
    QVariant maximumValue() const override { return pot()->Max(); }
    QVariant minimumValue() const override { return pot()->Min(); }
    QVariant minimumStepSize() const override { return 1; }

    // The shown text, read only and never selected.
    QString text(int start, int end) const override {
        return pot()->text().mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(pot()->text().size()); }
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

  private:
    Tvxpotlab* pot() const { return static_cast<Tvxpotlab*>(widget()); }
};

QAccessibleInterface* PotAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("Tvxpotlab") && object != nullptr && object->isWidgetType())
        return new PotAccessible(static_cast<Tvxpotlab*>(object));
    return nullptr;
}

}  // namespace

Tvxpotlab::Tvxpotlab(QWidget* parent) : QLabel(parent) {
    static std::once_flag factory;
    std::call_once(factory, [] { QAccessible::installFactory(PotAccessibleFactory); });
    setAutoFillBackground(true);
    resize(30, 30);
    setText(QStringLiteral("0"));
    adjustSize();
}

void Tvxpotlab::setState(std::int32_t value) {
    if (value == state_)
        return;
    // Both limits are tested on the value given (with Min above Max, below Min gives Min);
    // a drag instead limits the raised value again.
    state_ = value;
    if (value < min_)
        state_ = min_;
    if (value > max_)
        state_ = max_;
    showState();
}

void Tvxpotlab::setKeyboardControl(bool value) {
    keyboardControl_ = value;
    setFocusPolicy(value ? Qt::StrongFocus : Qt::NoFocus);
    update();
}

void Tvxpotlab::ChangeByUser(std::int64_t value) {
    const std::int32_t next =
        limited(static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX)));
    if (next == state_)
        return;
    state_ = next;
    showState();
    OnChange(this);
}

void Tvxpotlab::keyPressEvent(QKeyEvent* event) {
    if (!keyboardControl_)
        return QLabel::keyPressEvent(event);
    const std::int64_t state = state_;
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Right:
            return ChangeByUser(state + 1);
        case Qt::Key_Down:
        case Qt::Key_Left:
            return ChangeByUser(state - 1);
        case Qt::Key_PageUp:
            return ChangeByUser(state + 10);
        case Qt::Key_PageDown:
            return ChangeByUser(state - 10);
        case Qt::Key_Home:
            return ChangeByUser(min_);
        case Qt::Key_End:
            return ChangeByUser(max_);
        default:
            return QLabel::keyPressEvent(event);
    }
}

void Tvxpotlab::wheelEvent(QWheelEvent* event) {
    if (!keyboardControl_)
        return QLabel::wheelEvent(event);
    // A notch is 120; a touchpad's finer turns add up to whole steps.
    wheelTurn_ += event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
    const int steps = wheelTurn_ / 120;
    wheelTurn_ %= 120;
    if (steps != 0)
        ChangeByUser(static_cast<std::int64_t>(state_) + steps);
    event->accept();
}

void Tvxpotlab::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    // Two pixels along the edge, where the text does not reach, in a colour that stands out
    // from the pot's background inside and its parent's outside.
    QPainter painter(this);
    const QColor outside = parentWidget() != nullptr
                               ? parentWidget()->palette().color(parentWidget()->backgroundRole())
                               : palette().color(QPalette::Window);
    painter.setPen(QPen(StandingOut(palette().color(QPalette::Highlight),
                                    palette().color(backgroundRole()), outside),
                        2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
}

void Tvxpotlab::setAutoSize(bool value) {
    autoSize_ = value;
    if (autoSize_)
        adjustSize();
}

QColor Tvxpotlab::Color() const {
    return palette().color(QPalette::Window);
}

void Tvxpotlab::setColor(const QColor& color) {
    QPalette colours = palette();
    colours.setColor(QPalette::Window, color);
    setPalette(colours);
}

std::int32_t Tvxpotlab::limited(std::int32_t value) const {
    if (value < min_)
        value = min_;
    if (value > max_)
        value = max_;
    return value;
}

std::int32_t Tvxpotlab::valueAt(int c) const {
    return int32::div(int32::mul(int32::sub(max_, min_), int32::sub(dragAnchor_, c)), cursorRange_);
}

void Tvxpotlab::setValueText(TValueText valueText) {
    valueText_ = std::move(valueText);
    showText();
}

void Tvxpotlab::showText() {
    setText(valueText_ ? valueText_(state_) : QString::number(state_));
    if (autoSize_)
        adjustSize();
}

void Tvxpotlab::showState() {
    showText();
    repaint();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent changed(this, state_);
        QAccessible::updateAccessibility(&changed);
    }
}

void Tvxpotlab::ButtonPressed(TMouseButton button, TShiftState, int x, int y) {
    switch (button) {
        case mbLeft:
            rightPressed_ = false;
            // A pot whose span or travel is zero cannot be dragged; clicks still work.
            if (!canTrackPointer())
                return;
            dragAnchor_ = int32::add(coordinate(x, y), int32::div(int32::mul(state_, cursorRange_),
                                                                  int32::sub(max_, min_)));
            dragging_ = true;
            break;
        case mbRight:
            rightPressed_ = true;
            break;
        case mbMiddle:
            break;
    }
}

void Tvxpotlab::PointerMoved(TShiftState shift, int x, int y) {
    if (!(shift & ssLeft))
        return;
    // Min or Max may have been changed from code during the drag.
    if (dragging_ && canTrackPointer()) {
        state_ = limited(valueAt(coordinate(x, y)));
        showText();
        moved_ = true;
        if (alwayDetect_)
            OnChange(this);
    }
    repaint();
}

void Tvxpotlab::ButtonReleased(TMouseButton button, TShiftState shift, int x, int y) {
    const std::int32_t step = (shift & ssShift) ? max_ / 10 : 1;
    if (button == mbLeft) {
        if (moved_ && canTrackPointer())
            state_ = valueAt(coordinate(x, y));
        else if (rightPressed_)
            state_ = min_;
        else
            state_ = int32::sub(state_, step);
        state_ = limited(state_);
        showState();
        OnChange(this);
    } else if (button == mbRight) {
        state_ = rightPressed_ ? int32::add(state_, step) : max_;
        // Only the upper limit on this path.
        if (state_ > max_)
            state_ = max_;
        showState();
        OnChange(this);
    }
    dragAnchor_ = 0;
    dragging_ = false;
    moved_ = false;
}

void Tvxpotlab::mousePressEvent(QMouseEvent* event) {
    ForwardButton(event, [this](TMouseButton button, TShiftState shift, int x, int y) {
        ButtonPressed(button, shift, x, y);
    });
}

void Tvxpotlab::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click is an ordinary press.
    mousePressEvent(event);
}

void Tvxpotlab::mouseMoveEvent(QMouseEvent* event) {
    ForwardMove(event, [this](TShiftState shift, int x, int y) { PointerMoved(shift, x, y); });
}

void Tvxpotlab::mouseReleaseEvent(QMouseEvent* event) {
    ForwardButton(event, [this](TMouseButton button, TShiftState shift, int x, int y) {
        ButtonReleased(button, shift, x, y);
    });
}
