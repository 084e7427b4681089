// SPDX-License-Identifier: GPL-3.0-or-later
// What the program sends to the RDN417: the 7-byte parameter message, the Control Change
// test message and the test note's channel messages.
#pragma once

#include <array>
#include <cstdint>

enum ParameterCode : int {
    pcModeFlags = 124,      // bit 5: 48-note table, bit 6: aux CV follows a controller
    pcAuxController = 125,  // the controller number that drives the aux CV
    pcNoteRef = 126,        // the lowest note of the pitch CV range
};

constexpr int kModeFlagTable = 0x20;
constexpr int kModeFlagController = 0x40;

using ParameterMessageBytes = std::array<std::uint8_t, 7>;

// F0 70, channel (0..15), code, value's low and high four bits (bits 0..7 only), F7.
ParameterMessageBytes ParameterMessage(int channel, int code, int value);

struct ShortMessage {
    std::uint8_t status;
    std::uint8_t data1;
    std::uint8_t data2;
};

// Control Change on `channel` (0..15): 0xB0 + channel, controller, value.
ShortMessage ControlChangeMessage(int channel, int controller, int value);

// Note On on `channel` (0..15) with a velocity of 1..127; velocity 0 would mean Note Off.
ShortMessage NoteOnMessage(int channel, int note, int velocity);
// Note Off on `channel` with release velocity 0, as a Note On of velocity 0 is not: some
// devices treat the two apart, none ignores this one.
ShortMessage NoteOffMessage(int channel, int note);
// Control Change 123 (All Notes Off) on `channel`.
ShortMessage AllNotesOffMessage(int channel);
