// SPDX-License-Identifier: GPL-3.0-or-later
// A software RDN417: takes the parameter messages (F0 70 channel code low high F7) and
// Control Change messages that reach it and keeps the converter's state.
#pragma once

#include "platform/virtual_midi.h"

#include <cstdint>
#include <span>

namespace platform::midi {

class SimulatedConverter {
  public:
    static constexpr int kModeFlags = 124;
    static constexpr int kAuxController = 125;
    static constexpr int kNoteRef = 126;

    void receive(std::span<const std::uint8_t> message);
    const virtual_midi::ConverterState& state() const { return state_; }

  private:
    bool takeParameter(std::span<const std::uint8_t> message);
    bool takeControlChange(std::span<const std::uint8_t> message);

    virtual_midi::ConverterState state_;
};

}  // namespace platform::midi
