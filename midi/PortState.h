// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The state of a MIDI component; "open" always means psOpen.
enum TPortState : std::uint8_t {
    psOpen = 0,
    psClosed = 1,
    psCreating = 2,  // the input component while it is being constructed
};
