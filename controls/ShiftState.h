// SPDX-License-Identifier: GPL-3.0-or-later
// The mouse button and the shift state (keys and buttons held) that the controls' mouse
// reactions receive, taken from Qt's mouse events.
#pragma once

#include <QMouseEvent>

enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftFlag : unsigned {
    ssShift = 1u << 0,
    ssAlt = 1u << 1,
    ssCtrl = 1u << 2,
    ssLeft = 1u << 3,
    ssRight = 1u << 4,
    ssMiddle = 1u << 5,
    ssDouble = 1u << 6,
};
using TShiftState = unsigned;

// The button that changed in the event; false for buttons the controls do not know.
bool ButtonOf(const QMouseEvent& event, TMouseButton& button);
TShiftState ShiftStateOf(const QMouseEvent& event);
// The pixel under the pointer, in the receiving widget's coordinates.
QPoint PixelOf(const QMouseEvent& event);

// Hands a press or release to `reaction(button, shift, x, y)`; buttons the controls do not
// know are passed over. The event counts as handled either way.
template <typename Reaction>
void ForwardButton(QMouseEvent* event, Reaction reaction) {
    TMouseButton button;
    if (ButtonOf(*event, button)) {
        const QPoint at = PixelOf(*event);
        reaction(button, ShiftStateOf(*event), at.x(), at.y());
    }
    event->accept();
}

// Hands a move to `reaction(shift, x, y)`.
template <typename Reaction>
void ForwardMove(QMouseEvent* event, Reaction reaction) {
    const QPoint at = PixelOf(*event);
    reaction(ShiftStateOf(*event), at.x(), at.y());
    event->accept();
}
