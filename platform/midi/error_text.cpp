// SPDX-License-Identifier: GPL-3.0-or-later
// Texts for the result codes of the MIDI functions, shared by output and input.
#include "faults.h"
#include "platform/win32.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

std::string_view textFor(MMRESULT code) {
    switch (code) {
        case MMSYSERR_NOERROR:
            return "No error.";
        case MMSYSERR_ERROR:
            return "An unspecified error occurred.";
        case MMSYSERR_BADDEVICEID:
            return "The device ID is out of range.";
        case MMSYSERR_NOTENABLED:
            return "The driver could not be enabled.";
        case MMSYSERR_ALLOCATED:
            return "The MIDI port is already in use by another program.";
        case MMSYSERR_INVALHANDLE:
            return "The device handle is invalid or the port is closed.";
        case MMSYSERR_NODRIVER:
            return "No MIDI driver is installed.";
        case MMSYSERR_NOMEM:
            return "Not enough memory for the request.";
        case MMSYSERR_NOTSUPPORTED:
            return "The MIDI port does not support this request.";
        case MMSYSERR_BADERRNUM:
            return "The error number is out of range.";
        case MMSYSERR_INVALFLAG:
            return "An invalid flag was passed.";
        case MMSYSERR_INVALPARAM:
            return "An invalid parameter was passed.";
        case MMSYSERR_HANDLEBUSY:
            return "The handle is in use by another thread.";
        case MMSYSERR_INVALIDALIAS:
            return "The alias was not found.";
        case MMSYSERR_BADDB:
            return "The MIDI configuration is damaged.";
        case MMSYSERR_KEYNOTFOUND:
            return "The configuration key was not found.";
        case MMSYSERR_READERROR:
            return "The configuration could not be read.";
        case MMSYSERR_WRITEERROR:
            return "The configuration could not be written.";
        case MMSYSERR_DELETEERROR:
            return "The configuration entry could not be deleted.";
        case MMSYSERR_VALNOTFOUND:
            return "The configuration value was not found.";
        case MMSYSERR_NODRIVERCB:
            return "The driver gave no callback.";
        case MMSYSERR_MOREDATA:
            return "More data is waiting.";
        case MIDIERR_UNPREPARED:
            return "The MIDI header has not been prepared.";
        case MIDIERR_STILLPLAYING:
            return "The MIDI port is still busy sending or receiving.";
        case MIDIERR_NOMAP:
            return "No MIDI map was found.";
        case MIDIERR_NOTREADY:
            return "The MIDI port is not ready.";
        case MIDIERR_NODEVICE:
            return "No MIDI port was found.";
        case MIDIERR_INVALIDSETUP:
            return "The MIDI setup is invalid.";
        case MIDIERR_BADOPENMODE:
            return "This operation is not allowed in this open mode.";
        case MIDIERR_DONT_CONTINUE:
            return "The operation was stopped.";
        default:
            return {};
    }
}

MMRESULT copyText(MMRESULT code, LPSTR buffer, UINT size) {
    const std::string_view text = textFor(code);
    if (text.empty())
        return MMSYSERR_BADERRNUM;
    if (buffer == nullptr || size == 0)
        return MMSYSERR_INVALPARAM;
    const std::size_t length = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return MMSYSERR_NOERROR;
}

}  // namespace

MMRESULT WINAPI midiOutGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText) {
    if (MMRESULT fault = platform::midi::TakeFault(platform::midi::Operation::OutGetErrorText))
        return fault;
    return copyText(mmrError, pszText, cchText);
}

MMRESULT WINAPI midiInGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText) {
    if (MMRESULT fault = platform::midi::TakeFault(platform::midi::Operation::InGetErrorText))
        return fault;
    return copyText(mmrError, pszText, cchText);
}
