// SPDX-License-Identifier: GPL-3.0-or-later
#include "StoredSetup.h"

#include "converter/StoredValues.h"

#include <algorithm>

namespace {

bool holds(const std::vector<std::string>& names, const char* name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

StoredSetupReading ReadStoredSetup(const RegistryKey& key, ConverterSetup base) {
    StoredSetupReading reading{std::move(base), false, {}, {}};
    for (const StoredSetupValue& value : kStoredSetupValues) {
        bool otherType = false;
        if (const auto stored = key.FindInteger(value.name, &otherType)) {
            if (!value.read(*stored, reading.setup))
                reading.entryPastList = true;
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
    for (const StoredSetupValue& value : kStoredSetupValues)
        reading.unread.push_back(value.name);
    return reading;
}

std::string DescribeBadValues(const StoredSetupReading& reading) {
    std::string text;
    for (const StoredSetupValue& value : kStoredSetupValues) {
        if (holds(reading.bad, value.name))
            text += std::string(text.empty() ? "" : "\n") + "The stored " + value.what + " (\"" +
                    value.name + "\") is not a number; the " + value.what +
                    " shown is the default.";
    }
    return text;
}

void WriteStoredSetup(RegistryKey& key, const ConverterSetup& setup,
                      const StoredSetupReading* before) {
    for (const StoredSetupValue& value : kStoredSetupValues) {
        // A value of another type is left as it is unless the setup changes it: it may be
        // the user's own edit, and it is said.
        const bool missing = before != nullptr && holds(before->unread, value.name) &&
                             !holds(before->bad, value.name);
        if (before == nullptr || missing || !value.same(before->setup, setup))
            key.WriteInteger(value.name, value.written(setup));
    }
}
