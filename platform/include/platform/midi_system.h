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

// The host's whole names of the output (or input) ports, in the order they are listed; a
// listed name holds at most 31 bytes of it, and two devices whose names agree that far differ
// here. On Windows, the listed names.
std::vector<std::string> MidiPortFullNames(bool output);

// Posts `message` (wParam and lParam 0) to `window` whenever the ports of the system in use
// change, as far as the host tells or a look a few times a second shows; a null window stops.
void WatchMidiPorts(HWND window, UINT message);

}  // namespace platform
