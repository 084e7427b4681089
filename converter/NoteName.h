// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The name of note + offset: its letter, "#" or a blank, and with withOctave the octave
// (note div 12 - 2), so 60 is "C 3" and 13 is "C#-1".
std::string NoteName(int note, int offset, bool withOctave);
