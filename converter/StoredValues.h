// SPDX-License-Identifier: GPL-3.0-or-later
// A setup as the settings keep it, whatever keeps them (the desktop's per-user settings, a
// browser's storage): one integer a value, under the names the window has always used.
#pragma once

#include "converter/ConverterSetup.h"

#include <array>
#include <cstdint>

struct StoredSetupValue {
    const char* name;
    const char* what;  // what the user calls it
    // Reads a stored integer into the setup, kept in range as the window's controls keep it;
    // false for a controller entry past the list, which is no controller.
    bool (*read)(std::int32_t, ConverterSetup&);
    std::int32_t (*written)(const ConverterSetup&);
    bool (*same)(const ConverterSetup&, const ConverterSetup&);
};

// The channel pot's value, NoteRef, the controller list's entry and the two radio choices.
extern const std::array<StoredSetupValue, 5> kStoredSetupValues;
