// SPDX-License-Identifier: GPL-3.0-or-later
#include "rtmidi_backend.h"

namespace platform::midi {

void RtMidiErrors::record(RtMidiError::Type type, const std::string&, void* self) {
    auto* errors = static_cast<RtMidiErrors*>(self);
    // Warnings (a port that could not be listed, a message the host rejected) do not fail.
    if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING)
        return;
    errors->last.store(type, std::memory_order_relaxed);
    errors->failed.store(true, std::memory_order_release);
}

MMRESULT RtMidiErrors::take() {
    if (!failed.exchange(false, std::memory_order_acquire))
        return MMSYSERR_NOERROR;
    switch (last.load(std::memory_order_relaxed)) {
        case RtMidiError::NO_DEVICES_FOUND:
        case RtMidiError::INVALID_DEVICE:
            return MIDIERR_NODEVICE;
        case RtMidiError::MEMORY_ERROR:
            return MMSYSERR_NOMEM;
        case RtMidiError::INVALID_PARAMETER:
        case RtMidiError::INVALID_USE:
            return MMSYSERR_INVALPARAM;
        case RtMidiError::DRIVER_ERROR:
        case RtMidiError::SYSTEM_ERROR:
            return MMSYSERR_NODRIVER;
        default:
            return MMSYSERR_ERROR;
    }
}

}  // namespace platform::midi
