// SPDX-License-Identifier: GPL-3.0-or-later
// A software RDN417: takes the parameter messages (F0 70 channel code low high F7), Control
// Change messages and notes that reach it and keeps the converter's state, with the note and
// gate that its pitch CV and gate outputs would give.
#pragma once

#include "platform/virtual_midi.h"

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

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
    bool takeNote(std::span<const std::uint8_t> message);
    // Ends every note held on `channel`.
    void releaseAll(int channel);
    // The note and gate from the notes held, newest last.
    void updateGate();

    virtual_midi::ConverterState state_;
    std::vector<std::pair<int, int>> held_;  // channel and note, oldest first
};

}  // namespace platform::midi
