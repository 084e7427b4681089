// SPDX-License-Identifier: GPL-3.0-or-later
// Which of the host's MIDI systems the winmm functions use, and word of port changes. Not part
// of Win32: Windows has one MIDI system, and says nothing of port changes here.
#pragma once

#include "platform/win32.h"

#include <string>
#include <vector>

namespace platform {

struct MidiSystem {
    std::string id;     // as RDN417_MIDI_BACKEND names it: "host", "jack", "virtual"
    std::string label;  // for the user: "ALSA", "JACK", "Built-in simulator"
};

// The systems the user can choose from, in the order shown; empty where there is only one.
std::vector<MidiSystem> MidiSystems();
// The id of the system in use.
std::string CurrentMidiSystem();
// True when RDN417_MIDI_BACKEND chose the system; it then cannot be changed.
bool MidiSystemFromEnvironment();
// Uses the system `id` from now on. False, changing nothing, for an unknown id, when the
// environment chose the system, or while a port is open. GUI thread.
bool SelectMidiSystem(const std::string& id);

// A port as listed (at most 31 bytes, as midiOutGetDevCapsA gives it) and the host's whole
// name of it, where two devices whose names agree that far differ. On Windows both are the
// listed name.
struct MidiPortName {
    std::string listed;
    std::string full;
};
// The output (or input) ports of the system in use, from one listing, so that each name stays
// with its own port however the ports change meanwhile. False when the listing fails, as a
// caps query would.
bool ListMidiPorts(bool output, std::vector<MidiPortName>& ports);

// Why the system in use cannot be used right now, as a sentence that says what to do ("No JACK
// server is running: start JACK ..."); empty when it can.
std::string MidiSystemTrouble();

// Posts `message` (wParam and lParam 0) to `window` whenever the ports of the system in use
// change, as far as the host tells or a look a few times a second shows; a null window stops.
void WatchMidiPorts(HWND window, UINT message);

}  // namespace platform
