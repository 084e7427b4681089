// SPDX-License-Identifier: GPL-3.0-or-later
// The System Exclusive messages of a Standard MIDI File (format 0 or 1), as a DAW keeps a
// device's setup at the start of a song: every other event is passed over. And such a file
// made of messages, for a DAW to play at the start of a song.
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

// A file of format 0 with one track that holds the messages at its start, each after the one
// before has had the cable's time (31250 baud, ten bits a byte) at the file's 120 beats a
// minute and 480 ticks a beat.
std::vector<std::uint8_t> MidiFileOf(const std::vector<std::vector<std::uint8_t>>& messages);
