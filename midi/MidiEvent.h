// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// One message for TMidiOutput::SendEvent: a short message, or System Exclusive when sysexData
// is set.
struct MidiEvent {
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    std::uint16_t sysexLength = 0;
    const std::uint8_t* sysexData = nullptr;
};
