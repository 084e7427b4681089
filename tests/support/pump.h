// SPDX-License-Identifier: GPL-3.0-or-later
// Waiting for what the MIDI layers do on their own threads, on this (the test's) thread.
#pragma once

#include "platform/win32.h"

#include <chrono>
#include <functional>
#include <utility>

inline std::function<void(int)>& PumpInUse() {
    static std::function<void(int)> pump;
    return pump;
}

// Waits up to waitMs for posted messages, then dispatches every one that waits. By default
// straight from the mailbox; while a QtEventLoopPump lives, Qt's event loop does it, as in the
// program, where what a notice raises is shown in a box instead of reaching the caller.
inline void Pump(int waitMs) {
    if (PumpInUse()) {
        PumpInUse()(waitMs);
        return;
    }
    platform::PumpMessages(waitMs);
    while (platform::PumpMessages(0) > 0) {
    }
}

// Sets how Pump works (an empty function: straight from the mailbox); returns the previous way.
inline std::function<void(int)> SetPump(std::function<void(int)> pump) {
    return std::exchange(PumpInUse(), std::move(pump));
}

// Pumps posted messages on this thread until a condition holds or a generous limit passes.
// The limit is time on the clock: a pump returns early whenever messages arrive.
template <typename Condition>
bool PumpUntil(Condition done, int limitMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        Pump(5);
    return done();
}

// Lets every message reach its port and every notice come back: flushes the delivery thread
// and dispatches the posted messages, in a few rounds, so that what a notice sends in turn
// arrives too.
void Settle();
