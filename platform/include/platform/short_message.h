// SPDX-License-Identifier: GPL-3.0-or-later
// A short MIDI message as winmm packs it into a DWORD: status in the low byte, then the data
// bytes.
#pragma once

#include "platform/win32.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform {

// Packs up to the first three bytes of a message.
constexpr DWORD PackShortMessage(std::span<const std::uint8_t> bytes) {
    DWORD packed = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 3; ++i)
        packed |= static_cast<DWORD>(bytes[i]) << (8 * i);
    return packed;
}

// How many bytes a message with this status byte has, the status included.
constexpr std::size_t ShortMessageLength(std::uint8_t status) {
    if (status < 0xC0 || (status >= 0xE0 && status < 0xF0))
        return 3;
    if (status < 0xE0 || status == 0xF1 || status == 0xF3)
        return 2;
    return status == 0xF2 ? 3 : 1;
}

}  // namespace platform
