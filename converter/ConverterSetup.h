// SPDX-License-Identifier: GPL-3.0-or-later
// One setup of the converter: what the window shows, the settings keep, a .syx file holds,
// Send all sends and the command line sets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ConverterSetup {
    int channel = 0;                   // 0..15; the window's channel pot shows it plus one
    int noteRef = 12;                  // 0..127, the lowest note of the pitch CV range
    bool pitchTable = false;           // the 48-note table instead of 1 V/octave
    bool auxFromController = true;     // the aux CV follows a controller instead of velocity
    std::optional<int> auxController;  // 0..127; none chosen yet

    bool operator==(const ConverterSetup&) const = default;

    int modeFlags() const;
    // What Send all sends, in order: the mode flags, the aux controller (when one is chosen)
    // and NoteRef, each a parameter message on the setup's channel.
    std::vector<std::vector<std::uint8_t>> messages() const;
    // The setup as text, one "name: value" line each, as --show prints it.
    std::string describe() const;
};

// "C 3", "C3", "c#-1", "F#2" (octave as NoteName gives it: 60 is C 3) or a number 0..127; none
// for anything else.
std::optional<int> ParseNote(const std::string& text);
