// SPDX-License-Identifier: GPL-3.0-or-later
#include "StoredSetup.h"

#include "converter/ControllerNames.h"

#include <algorithm>
#include <functional>

namespace {

// One stored value: its name, what the user calls it, how it is read into a setup and how a
// setup gives it.
struct StoredValue {
    const char* name;
    const char* what;
    void (*read)(std::int32_t, StoredSetupReading&);
    std::int32_t (*written)(const ConverterSetup&);
    bool (*same)(const ConverterSetup&, const ConverterSetup&);
};

constexpr StoredValue kValues[] = {
    {"CAN", "channel",
     [](std::int32_t v, StoredSetupReading& r) { r.setup.channel = std::clamp(v, 1, 16) - 1; },
     [](const ConverterSetup& s) { return s.channel + 1; },
     [](const ConverterSetup& a, const ConverterSetup& b) { return a.channel == b.channel; }},
    {"NREF", "NoteRef",
     [](std::int32_t v, StoredSetupReading& r) { r.setup.noteRef = std::clamp(v, 0, 127); },
     [](const ConverterSetup& s) { return s.noteRef; },
     [](const ConverterSetup& a, const ConverterSetup& b) { return a.noteRef == b.noteRef; }},
    // Entry 0 of the list stands for no controller; one past the list selects nothing.
    {"CREF", "aux controller",
     [](std::int32_t entry, StoredSetupReading& r) {
         const bool listed = entry >= 0 && entry < static_cast<int>(ControllerNames.size());
         r.setup.auxController = listed && entry > 0 ? std::optional(entry - 1) : std::nullopt;
         r.entryPastList = !listed;
     },
     [](const ConverterSetup& s) { return s.auxController ? *s.auxController + 1 : 0; },
     [](const ConverterSetup& a, const ConverterSetup& b) {
         return a.auxController == b.auxController;
     }},
    {"VOCT", "pitch mode",
     [](std::int32_t v, StoredSetupReading& r) { r.setup.pitchTable = v == 0; },
     [](const ConverterSetup& s) { return s.pitchTable ? 0 : 1; },
     [](const ConverterSetup& a, const ConverterSetup& b) { return a.pitchTable == b.pitchTable; }},
    {"VELO", "aux source",
     [](std::int32_t v, StoredSetupReading& r) { r.setup.auxFromController = v == 0; },
     [](const ConverterSetup& s) { return s.auxFromController ? 0 : 1; },
     [](const ConverterSetup& a, const ConverterSetup& b) {
         return a.auxFromController == b.auxFromController;
     }},
};

bool holds(const std::vector<std::string>& names, const char* name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

StoredSetupReading ReadStoredSetup(const RegistryKey& key, ConverterSetup base) {
    StoredSetupReading reading{std::move(base), false, {}, {}};
    for (const StoredValue& value : kValues) {
        bool otherType = false;
        if (const auto stored = key.FindInteger(value.name, &otherType)) {
            value.read(*stored, reading);
            continue;
        }
        reading.unread.push_back(value.name);
        if (otherType)
            reading.bad.push_back(value.name);
    }
    return reading;
}

StoredSetupReading NothingStored(ConverterSetup base) {
    StoredSetupReading reading{std::move(base), false, {}, {}};
    for (const StoredValue& value : kValues)
        reading.unread.push_back(value.name);
    return reading;
}

std::string DescribeBadValues(const StoredSetupReading& reading) {
    std::string text;
    for (const StoredValue& value : kValues) {
        if (holds(reading.bad, value.name))
            text += std::string(text.empty() ? "" : "\n") + "The stored " + value.what + " (\"" +
                    value.name + "\") is not a number; the " + value.what +
                    " shown is the default.";
    }
    return text;
}

void WriteStoredSetup(RegistryKey& key, const ConverterSetup& setup,
                      const StoredSetupReading* before) {
    for (const StoredValue& value : kValues) {
        // A value of another type is left as it is unless the setup changes it: it may be
        // the user's own edit, and it is said.
        const bool missing = before != nullptr && holds(before->unread, value.name) &&
                             !holds(before->bad, value.name);
        if (before == nullptr || missing || !value.same(before->setup, setup))
            key.WriteInteger(value.name, value.written(setup));
    }
}
