// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShiftState.h"

#include <cmath>

bool ButtonOf(const QMouseEvent& event, TMouseButton& button) {
    switch (event.button()) {
        case Qt::LeftButton:
            button = mbLeft;
            return true;
        case Qt::RightButton:
            button = mbRight;
            return true;
        case Qt::MiddleButton:
            button = mbMiddle;
            return true;
        default:
            return false;
    }
}

TShiftState ShiftStateOf(const QMouseEvent& event) {
    TShiftState shift = 0;
    const Qt::KeyboardModifiers keys = event.modifiers();
    const Qt::MouseButtons held = event.buttons();
    if (keys & Qt::ShiftModifier)
        shift |= ssShift;
    if (keys & Qt::AltModifier)
        shift |= ssAlt;
    if (keys & Qt::ControlModifier)
        shift |= ssCtrl;
    if (held & Qt::LeftButton)
        shift |= ssLeft;
    if (held & Qt::RightButton)
        shift |= ssRight;
    if (held & Qt::MiddleButton)
        shift |= ssMiddle;
    if (event.type() == QEvent::MouseButtonDblClick)
        shift |= ssDouble;
    return shift;
}

QPoint PixelOf(const QMouseEvent& event) {
    const QPointF at = event.position();
    return {static_cast<int>(std::floor(at.x())), static_cast<int>(std::floor(at.y()))};
}
