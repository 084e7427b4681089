// SPDX-License-Identifier: GPL-3.0-or-later
// What the settings keep beside the setup and both the window and the command line use: the
// MIDI system and the ports chosen last.
#pragma once

#include "session/Ports.h"
#include "session/RegistryKey.h"

// The texts a port combo shows where there is no port; an earlier version could store them as
// a port's name.
inline constexpr const char* kNoInputPortText = "No MIDI Input Device";
inline constexpr const char* kNoOutputPortText = "No MIDI Output Device";

// Uses the MIDI system stored, unless RDN417_MIDI_BACKEND chose one.
void RestoreMidiSystem(const RegistryKey& key);
// Stores the MIDI system in use, where there is a choice and the environment did not make it.
void StoreMidiSystem(RegistryKey& key);

// The port chosen last: its listed name and the host's whole name; empty when none was.
PortIdentity StoredPort(const RegistryKey& key, bool output);
// Stores the port by both names (also one that is not connected now).
void StorePort(RegistryKey& key, bool output, const PortIdentity& port);
