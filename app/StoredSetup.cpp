// SPDX-License-Identifier: GPL-3.0-or-later
#include "StoredSetup.h"

#include "ControllerNames.h"

#include <algorithm>

ConverterSetup ReadStoredSetup(const RegistryKey& key, ConverterSetup base, bool* entryPastList) {
    if (entryPastList != nullptr)
        *entryPastList = false;
    try {
        base.channel = std::clamp(key.ReadInteger("CAN"), 1, 16) - 1;
        base.noteRef = std::clamp(key.ReadInteger("NREF"), 0, 127);
        // Entry 0 of the list stands for no controller; one past the list selects nothing.
        const int entry = key.ReadInteger("CREF");
        const bool listed = entry >= 0 && entry < static_cast<int>(ControllerNames.size());
        base.auxController = listed && entry > 0 ? std::optional(entry - 1) : std::nullopt;
        if (entryPastList != nullptr)
            *entryPastList = !listed;
        base.pitchTable = !key.ReadBool("VOCT");
        base.auxFromController = !key.ReadBool("VELO");
    } catch (const ERegistryException&) {
    }
    return base;
}

void WriteStoredSetup(RegistryKey& key, const ConverterSetup& setup) {
    key.WriteInteger("CAN", setup.channel + 1);
    key.WriteInteger("NREF", setup.noteRef);
    key.WriteInteger("CREF", setup.auxController ? *setup.auxController + 1 : 0);
    key.WriteBool("VOCT", !setup.pitchTable);
    key.WriteBool("VELO", !setup.auxFromController);
}
