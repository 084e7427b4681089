// SPDX-License-Identifier: GPL-3.0-or-later
// How the window's combo boxes behave beyond Qt's defaults.
#pragma once

class QComboBox;
class QWidget;

// The wheel changes a combo box of `window` only while it has the keyboard focus, and never
// gives it the focus: a wheel turned over a combo the pointer merely passes changes nothing.
void RequireFocusForWheel(QWidget& window);
// The combo's list opens `rows` rows tall at most (also where the style would open it as a
// menu as tall as the screen) and wide enough for its longest item.
void FitListToItems(QComboBox& combo, int rows);
// A screen reader finds each combo box by its accessible name (its label's words), where Qt's
// own reads a combo on Linux by its current item; the item is still its value.
void NameCombosByTheirLabels();
