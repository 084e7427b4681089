// SPDX-License-Identifier: GPL-3.0-or-later
#include "Vxpotlab.h"

#include "Int32.h"

#include <QPalette>

Tvxpotlab::Tvxpotlab(QWidget* parent) : QLabel(parent) {
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

void Tvxpotlab::showState() {
    setText(QString::number(state_));
    if (autoSize_)
        adjustSize();
    repaint();
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
        setText(QString::number(state_));
        if (autoSize_)
            adjustSize();
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
