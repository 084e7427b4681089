// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulated_converter.h"

#include <algorithm>

namespace platform::midi {

void SimulatedConverter::receive(std::span<const std::uint8_t> message) {
    if (!takeParameter(message) && !takeControlChange(message))
        ++state_.ignoredMessages;
}

bool SimulatedConverter::takeParameter(std::span<const std::uint8_t> m) {
    if (m.size() != 7 || m[0] != 0xF0 || m[1] != 0x70 || m[6] != 0xF7)
        return false;
    if (std::any_of(m.begin() + 1, m.end() - 1, [](std::uint8_t b) { return b >= 0x80; }))
        return false;
    if (m[2] > 0x0F || m[4] > 0x0F || m[5] > 0x0F)
        return false;
    const int value = m[4] + 16 * m[5];
    switch (m[3]) {
        case kModeFlags:
            state_.modeFlags = value;
            break;
        case kAuxController:
            state_.auxController = value;
            break;
        case kNoteRef:
            state_.noteRef = value;
            break;
        default:
            return false;
    }
    state_.channel = m[2];
    ++state_.parameterMessages;
    return true;
}

bool SimulatedConverter::takeControlChange(std::span<const std::uint8_t> m) {
    if (m.size() != 3 || (m[0] & 0xF0) != 0xB0 || m[1] >= 0x80 || m[2] >= 0x80)
        return false;
    state_.channel = m[0] & 0x0F;
    state_.testController = m[1];
    state_.testValue = m[2];
    ++state_.controlChanges;
    return true;
}

}  // namespace platform::midi
