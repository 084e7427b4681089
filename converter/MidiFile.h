// SPDX-License-Identifier: GPL-3.0-or-later
// The System Exclusive messages of a Standard MIDI File (format 0 or 1), as a DAW keeps a
// device's setup at the start of a song: every other event is passed over.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// True for bytes that begin as a Standard MIDI File does ("MThd").
bool IsMidiFile(std::span<const std::uint8_t> bytes);

struct MidiFileSysex {
    // The whole messages, F0 to F7, one after another in the order of the tracks.
    std::vector<std::uint8_t> messages;
    // Empty when the file could be read; otherwise what is wrong with it.
    std::string error;
};

MidiFileSysex SysexOfMidiFile(std::span<const std::uint8_t> bytes);
