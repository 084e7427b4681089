// SPDX-License-Identifier: GPL-3.0-or-later
// Setups as hex text, as forums, MIDI monitors and MIDI libraries write them: "F0 70 00 7E 00
// 04 F7", with any spacing and line ends, with or without "0x", in ASCII (or UTF-8) or in UTF-16
// with its byte-order mark.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// True for bytes that are text rather than binary MIDI: a UTF-16 or UTF-8 byte-order mark, or
// printable ASCII and blanks only.
bool IsText(std::span<const std::uint8_t> bytes);

struct HexTextBytes {
    std::vector<std::uint8_t> bytes;
    // Empty when the text could be read; otherwise where it is not hex.
    std::string error;
};

HexTextBytes BytesOfHexText(std::span<const std::uint8_t> text);
