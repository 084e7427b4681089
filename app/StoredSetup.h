// SPDX-License-Identifier: GPL-3.0-or-later
// The converter setup in the per-user settings, as the window has always kept it: the channel
// pot's value, NoteRef, the controller list's entry and the two radio choices.
#pragma once

#include "ConverterSetup.h"
#include "RegistryKey.h"

// The path from the root of HKEY_CURRENT_USER of every setting of the program.
inline constexpr const char* kSettingsKey = "Software\\Korvalen\\RDN417_V28";

// Reads the stored values in their order into a copy of `base`; a value missing or of another
// type ends the reading, and what was read before it stays. Values out of range are kept in
// range as the window's controls keep them; a controller entry past the list is no controller,
// and `entryPastList`, when given, says whether that was read.
ConverterSetup ReadStoredSetup(const RegistryKey& key, ConverterSetup base,
                               bool* entryPastList = nullptr);
// Raises ERegistryException when a value cannot be written.
void WriteStoredSetup(RegistryKey& key, const ConverterSetup& setup);
