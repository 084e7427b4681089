// SPDX-License-Identifier: GPL-3.0-or-later
// Converter setups as .syx files: exactly the System Exclusive messages that Send all sends,
// one after another, so that any SysEx librarian or sender can use them (or as a Standard MIDI
// File that holds them, for a DAW; see MidiFile.h). Reading checks that
// the file is meant for the converter and holds one whole setup's worth of sound values;
// messages for other devices are skipped and counted.
#pragma once

#include "ConverterSetup.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct SetupFileContents {
    // Empty when the file could be used; otherwise why not, and nothing else counts.
    std::string error;
    // `base` with what the file sets: its channel and every parameter it holds.
    ConverterSetup setup;
    int skipped = 0;  // messages for other devices
};

inline constexpr std::size_t kMaxSetupFileBytes = 1024 * 1024;

// The parameter messages of a whole file's bytes.
SetupFileContents ParseSetupFile(std::span<const std::uint8_t> bytes, const ConverterSetup& base);
// The file's bytes for a setup: its messages, one after another; as a Standard MIDI File when
// `midi` (see MidiFileOf).
std::vector<std::uint8_t> SetupFileBytes(const ConverterSetup& setup, bool midi = false);
// True for a file name that ends in .mid or .midi, in any case: such a file is written as a
// Standard MIDI File.
bool IsMidiFileName(const std::string& name);
// What the program says of a file that cannot be used: its name, then why.
std::string NamedFileError(const std::string& name, const std::string& error);
// What it says of a file that held messages for other devices; empty when it held none.
std::string SkippedMessagesNote(const std::string& name, int skipped);
