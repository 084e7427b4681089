// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/host_names.h"

#include <gtest/gtest.h>

namespace {

using platform::midi::HostPortName;

TEST(HostPortName, DropsWhatOnlyNumbersRepeatsOrDecoratesAPort) {
    const std::pair<const char*, const char*> cases[] = {
        {"Synth 20:0", "Synth"},
        {"Scarlett 2i4 USB:Scarlett 2i4 USB MIDI 1 24:0", "Scarlett 2i4 USB MIDI 1"},
        {"Scarlett 2i4 USB:Scarlett 2i4 USB MIDI 1", "Scarlett 2i4 USB MIDI 1"},
        {"a2j:MIDI4x4 [24] (playback): MIDI4x4 MIDI 1", "MIDI4x4 MIDI 1"},
        {"a2j:MIDI4x4 [24] (capture): MIDI4x4 MIDI 2", "MIDI4x4 MIDI 2"},
        {"a2j:Midi Through [14] (playback): Midi Through Port-0", "Midi Through Port-0"},
        {"a2j:Keys [28]: Port A", "Keys: Port A"},
        {"a2j:UM-ONE [20] (playback): UM-ONE MIDI 1", "UM-ONE MIDI 1"},
        {"Midi-Bridge:UM-ONE:(playback_0) UM-ONE MIDI 1", "UM-ONE MIDI 1"},
        {"Midi-Bridge:Midi Through:(capture_0) Midi Through Port-0", "Midi Through Port-0"},
        {"Midi-Bridge:Keys:(capture_1) Port B", "Keys: Port B"},
        {"Midi-Bridge:odd(name)", "Midi-Bridge:odd(name)"},
        // What tells ports apart stays.
        {"rdn417-dump:input", "rdn417-dump:input"},
        {"system:midi_playback_1", "system:midi_playback_1"},
        {"Client:Port 3", "Client:Port 3"},
        {"Plain", "Plain"},
        {":Nameless", ":Nameless"},
    };
    for (const auto& [raw, shown] : cases)
        EXPECT_EQ(HostPortName(raw), shown) << raw;
}

}  // namespace
