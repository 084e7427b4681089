// SPDX-License-Identifier: GPL-3.0-or-later
#include "StoredValues.h"

#include "converter/ControllerNames.h"

#include <algorithm>

const std::array<StoredSetupValue, 5> kStoredSetupValues = {{
    {"CAN", "channel",
     [](std::int32_t v, ConverterSetup& s) {
         s.channel = std::clamp(v, 1, 16) - 1;
         return true;
     },
     [](const ConverterSetup& s) { return s.channel + 1; },
     [](const ConverterSetup& a, const ConverterSetup& b) { return a.channel == b.channel; }},
    {"NREF", "NoteRef",
     [](std::int32_t v, ConverterSetup& s) {
         s.noteRef = std::clamp(v, 0, 127);
         return true;
     },
     [](const ConverterSetup& s) { return s.noteRef; },
     [](const ConverterSetup& a, const ConverterSetup& b) { return a.noteRef == b.noteRef; }},
    // Entry 0 of the list stands for no controller; one past the list selects nothing.
    {"CREF", "aux controller",
     [](std::int32_t entry, ConverterSetup& s) {
         const bool listed = entry >= 0 && entry < static_cast<int>(ControllerNames.size());
         s.auxController = listed && entry > 0 ? std::optional(entry - 1) : std::nullopt;
         return listed;
     },
     [](const ConverterSetup& s) { return s.auxController ? *s.auxController + 1 : 0; },
     [](const ConverterSetup& a, const ConverterSetup& b) {
         return a.auxController == b.auxController;
     }},
    {"VOCT", "pitch mode",
     [](std::int32_t v, ConverterSetup& s) {
         s.pitchTable = v == 0;
         return true;
     },
     [](const ConverterSetup& s) { return s.pitchTable ? 0 : 1; },
     [](const ConverterSetup& a, const ConverterSetup& b) { return a.pitchTable == b.pitchTable; }},
    {"VELO", "aux source",
     [](std::int32_t v, ConverterSetup& s) {
         s.auxFromController = v == 0;
         return true;
     },
     [](const ConverterSetup& s) { return s.auxFromController ? 0 : 1; },
     [](const ConverterSetup& a, const ConverterSetup& b) {
         return a.auxFromController == b.auxFromController;
     }},
}};
