// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulated_converter.h"

#include <algorithm>

namespace platform::midi {

void SimulatedConverter::receive(std::span<const std::uint8_t> message) {
    if (!takeParameter(message) && !takeControlChange(message) && !takeNote(message))
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
    updateGate();
    return true;
}

bool SimulatedConverter::takeControlChange(std::span<const std::uint8_t> m) {
    if (m.size() != 3 || (m[0] & 0xF0) != 0xB0 || m[1] >= 0x80 || m[2] >= 0x80)
        return false;
    // All Sound Off and All Notes Off end the notes; the other channel mode messages (121,
    // 122, 124..127) change nothing that the converter has.
    if (m[1] >= 120) {
        if (m[1] == 120 || m[1] == 123) {
            releaseAll(m[0] & 0x0F);
            ++state_.noteMessages;
            return true;
        }
        return false;
    }
    state_.channel = m[0] & 0x0F;
    state_.testController = m[1];
    state_.testValue = m[2];
    ++state_.controlChanges;
    updateGate();
    return true;
}

bool SimulatedConverter::takeNote(std::span<const std::uint8_t> m) {
    const int kind = m.empty() ? 0 : m[0] & 0xF0;
    if (m.size() != 3 || (kind != 0x80 && kind != 0x90) || m[1] >= 0x80 || m[2] >= 0x80)
        return false;
    const std::pair<int, int> key{m[0] & 0x0F, m[1]};
    std::erase(held_, key);
    // A Note On of velocity 0 is a Note Off.
    if (kind == 0x90 && m[2] > 0)
        held_.push_back(key);
    ++state_.noteMessages;
    updateGate();
    return true;
}

void SimulatedConverter::releaseAll(int channel) {
    std::erase_if(held_, [&](const auto& held) { return held.first == channel; });
    updateGate();
}

void SimulatedConverter::updateGate() {
    state_.notesHeld = static_cast<int>(held_.size());
    state_.gate = false;
    for (auto at = held_.rbegin(); at != held_.rend(); ++at) {
        if (!state_.channel || at->first == *state_.channel) {
            state_.gate = true;
            state_.note = at->second;
            break;
        }
    }
}

}  // namespace platform::midi
