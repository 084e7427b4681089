// SPDX-License-Identifier: GPL-3.0-or-later
// The converter's MIDI output as the window and the command line both use it: every message
// goes through the cable pacer. A timer thread of its own waits for the time the pacer names
// and posts to the owner's thread, which sends, so that the owner never sleeps for the cable;
// when the port finishes a message later than the pacer expected, the pacer's clock catches
// up. The owner's thread is the one that made it and uses the output.
#pragma once

#include "converter/CablePacer.h"
#include "midi/MidiOut.h"
#include "platform/win32.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

class PacedSender {
  public:
    using Clock = CablePacer::Clock;

    explicit PacedSender(TMidiOutput& output);
    // The output may outlive it, and finish messages after.
    ~PacedSender();
    PacedSender(const PacedSender&) = delete;
    PacedSender& operator=(const PacedSender&) = delete;

    // Opens the output (as TMidiOutput::Open) and paces it unless the port is a synthesizer
    // inside the host, which has no cable.
    bool open();
    // What waits leaves first, then the output closes; throws the first failure of either.
    void close();
    // Throws what the output throws for a message that leaves now; a waiting message that fails
    // later goes to the failure handler.
    void send(std::span<const std::uint8_t> message);
    // Waits, handling the owner's posted messages, until every message has left and the port
    // has finished each; throws the first failure of a message that left late, or when that
    // takes longer than `limit`.
    void drain(std::chrono::milliseconds limit);

    // Called after each message the port has taken, now or when its time came.
    void setOnSent(std::function<void()> sent) { sent_ = std::move(sent); }
    // Called with the failure of a message that left when its time came.
    void setOnFailure(std::function<void(std::exception_ptr)> failed) {
        failed_ = std::move(failed);
    }

  private:
    void transmit(const CablePacer::Bytes& message);
    // Tells the timer thread when the next message is due.
    void schedule();
    void sendDue();
    void run();

    TMidiOutput& output_;
    CablePacer pacer_;
    std::function<void()> sent_ = [] {};
    std::function<void(std::exception_ptr)> failed_;
    std::exception_ptr lateFailure_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Clock::time_point> due_;
    bool stopping_ = false;
    // Declared after what its procedure uses; the timer thread, last, goes first.
    platform::MessageWindow window_;
    std::thread timer_;
};
