// SPDX-License-Identifier: GPL-3.0-or-later
// The converter setup in the per-user settings, as the window has always kept it: the channel
// pot's value, NoteRef, the controller list's entry and the two radio choices.
#pragma once

#include "converter/ConverterSetup.h"
#include "session/RegistryKey.h"

#include <string>
#include <vector>

// The path from the root of HKEY_CURRENT_USER of every setting of the program.
inline constexpr const char* kSettingsKey = "Software\\Korvalen\\RDN417_V28";

struct StoredSetupReading {
    ConverterSetup setup;
    bool entryPastList = false;       // the controller entry stored lies past the list
    std::vector<std::string> unread;  // the values missing or of another type, by name
    std::vector<std::string> bad;     // of those, the ones of another type
};

// Reads each stored value into a copy of `base`: a value missing or of another type costs that
// value alone. Values out of range are kept in range as the window's controls keep them; a
// controller entry past the list is no controller.
StoredSetupReading ReadStoredSetup(const RegistryKey& key, ConverterSetup base);
// What reading gives where nothing is stored: `base`, every value unread.
StoredSetupReading NothingStored(ConverterSetup base);
// For the user: which stored values could not be used and what took their place; empty when
// none.
std::string DescribeBadValues(const StoredSetupReading& reading);
// Writes the setup's values; with what was read before, only those that changed or were not
// read, so that values another program stored meanwhile stay. Raises ERegistryException when a
// value cannot be written.
void WriteStoredSetup(RegistryKey& key, const ConverterSetup& setup,
                      const StoredSetupReading* before = nullptr);
