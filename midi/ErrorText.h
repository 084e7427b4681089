// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <string>

// The platform's text for a result code, through midiOutGetErrorTextA or midiInGetErrorTextA;
// "Specified error number is out of range" when the platform has none.
std::string MidiErrorText(MMRESULT(WINAPI* getText)(MMRESULT, LPSTR, UINT), std::uint16_t code);
