// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorText.h"

std::string MidiErrorText(MMRESULT(WINAPI* getText)(MMRESULT, LPSTR, UINT), std::uint16_t code) {
    char buffer[128] = {};
    if (getText(code, buffer, sizeof buffer) != MMSYSERR_NOERROR)
        return "Specified error number is out of range";
    return buffer;
}
