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
