// SPDX-License-Identifier: GPL-3.0-or-later
// The test note that checks the converter's pitch CV and gate: one note at a time sounds, and
// each Note On it sends is followed by its Note Off before any other note sounds, before the
// channel changes and when it stops.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <utility>

class TestNote {
  public:
    struct Note {
        int channel;  // 0..15
        int note;     // 0..127
        bool operator==(const Note&) const = default;
    };
    // Sends one message to the converter; throws when it cannot.
    using Send = std::function<void(std::span<const std::uint8_t>)>;

    // Loud enough to open a velocity-following aux CV well, below its top.
    static constexpr int kVelocity = 100;

    explicit TestNote(Send send) : send_(std::move(send)) {}

    // Makes `wanted` the sounding note, or silence with nothing: a different note sounding is
    // released first. What failed to send is not taken as sounding.
    void sound(std::optional<Note> wanted);
    void release() { sound(std::nullopt); }
    // Releases what sounds, sends Note Off for `note` unless that was it, and All Notes Off on
    // its channel, for a converter that holds a note this program no longer knows of.
    void panic(Note note);
    std::optional<Note> sounding() const { return sounding_; }

  private:
    Send send_;
    std::optional<Note> sounding_;
};
