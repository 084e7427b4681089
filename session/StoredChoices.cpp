// SPDX-License-Identifier: GPL-3.0-or-later
#include "StoredChoices.h"

#include "platform/midi_system.h"

void RestoreMidiSystem(const RegistryKey& key) {
    if (platform::MidiSystemFromEnvironment())
        return;
    if (const auto id = key.ReadString("midiSystem"))
        platform::SelectMidiSystem(*id);
}

void StoreMidiSystem(RegistryKey& key) {
    if (!platform::MidiSystems().empty() && !platform::MidiSystemFromEnvironment())
        key.WriteString("midiSystem", platform::CurrentMidiSystem());
}

PortIdentity StoredPort(const RegistryKey& key, bool output) {
    const std::string name = key.ReadString(output ? "midiOUTName" : "midiINName").value_or("");
    if (name == kNoInputPortText || name == kNoOutputPortText)
        return {};
    return {name, name.empty()
                      ? std::string()
                      : key.ReadString(output ? "midiOUTPort" : "midiINPort").value_or("")};
}

void StorePort(RegistryKey& key, bool output, const PortIdentity& port) {
    key.WriteString(output ? "midiOUTName" : "midiINName", port.name);
    key.WriteString(output ? "midiOUTPort" : "midiINPort", port.full);
}
