// SPDX-License-Identifier: GPL-3.0-or-later
// The winmm MIDI operations, named so that tests can make one of them fail on its next call.
#pragma once

namespace platform::midi {

enum class Operation {
    OutGetDevCaps,
    OutOpen,
    OutClose,
    OutShortMsg,
    OutPrepareHeader,
    OutLongMsg,
    OutUnprepareHeader,
    OutGetErrorText,
    InGetDevCaps,
    InOpen,
    InClose,
    InPrepareHeader,
    InUnprepareHeader,
    InAddBuffer,
    InStart,
    InStop,
    InReset,
    InGetErrorText,
    Count
};

}  // namespace platform::midi
