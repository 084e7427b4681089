// SPDX-License-Identifier: GPL-3.0-or-later
// Paces what leaves for the converter to the rate of its MIDI 1.0 DIN cable (31,250 baud, 10
// bits a byte), so that no interface between the program and the converter ever holds more
// than it can pass on. A message that finds the cable free leaves at once; one that does not
// waits, and a newer message for the same parameter or controller takes its place, so that the
// last value of a drag is never stuck behind the values before it.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

class CablePacer {
  public:
    using Clock = std::chrono::steady_clock;
    using Bytes = std::vector<std::uint8_t>;
    // Sends one message to the port; throws when the port refuses it.
    using Send = std::function<void(const Bytes&)>;
    using Now = std::function<Clock::time_point()>;

    static constexpr std::chrono::microseconds kByteTime{320};
    // A waiting message leaves this much before the cable is free, so that the time the
    // program takes to wake up never leaves the cable idle between two messages (less than a
    // byte's time more in the interface's buffer).
    static constexpr std::chrono::microseconds kEarly{250};

    explicit CablePacer(Send send, Now now = &Clock::now);

    // Off for a port without a cable (a software synthesizer in the host): every message then
    // leaves at once. Turning it off sends what waits first.
    void setPaced(bool paced);

    // Sends `message` now if the cable is free and nothing waits; otherwise it waits behind the
    // others, or takes the place of the waiting message it replaces. Throws what the port
    // throws; a message that could not be sent is gone.
    void send(Bytes message);
    // Sends the first waiting message if its time has come (throws as send does).
    void sendDue();
    // When the first waiting message may leave; none when nothing waits.
    std::optional<Clock::time_point> nextDue() const;
    // Sends every waiting message now, in order, as a port is closed; a failure does not keep
    // the others back, and the first one is thrown once all were tried.
    void flush();
    std::size_t waiting() const { return waiting_.size(); }
    // When the cable has passed everything sent so far; while a message is being sent, the
    // time the cable is free for it, which a port that schedules may take as its time.
    Clock::time_point cableFreeAt() const { return cableFreeAt_; }
    // The port finished a System Exclusive message at `at`, and the newest `unfinished` of
    // those sent before are still on their way: the cable is busy at least until they have
    // passed too. This catches the clock up when the cable began later than the pacer sent (a
    // driver that took a message late), so that messages never pile up in the interface; it
    // never moves the clock back.
    void finished(Clock::time_point at, std::size_t unfinished);

    // The time the cable takes for `bytes` bytes.
    static Clock::duration cableTime(std::size_t bytes);

  private:
    // What a message sets: messages with the same key replace each other while they wait. Only
    // parameter messages and Control Changes have one.
    static std::optional<std::uint32_t> key(const Bytes& message);
    void transmit(const Bytes& message, Clock::time_point now);

    Send send_;
    Now now_;
    bool paced_ = true;
    Clock::time_point cableFreeAt_{};
    std::vector<Bytes> waiting_;
    // The sizes of the newest System Exclusive messages sent, newest last.
    std::deque<std::size_t> sentSizes_;
};
