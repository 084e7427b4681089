// Waiting for what the MIDI layers do on their own threads, on this (the test's) thread.
#pragma once

#include "platform/win32.h"

#include <chrono>
#include <functional>

// Pumps posted messages on this thread until a condition holds or a generous limit passes.
// The limit is time on the clock: a pump returns early whenever messages arrive.
template <typename Condition>
bool PumpUntil(Condition done, int limitMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        platform::PumpMessages(5);
    return done();
}

// Lets every message reach its port and every notice come back: flushes the delivery thread
// and dispatches the posted messages, in a few rounds, so that what a notice sends in turn
// arrives too.
void Settle();
// How Settle dispatches; by default every posted message waiting on this thread. The GUI
// tests' main has Qt's event loop do it, as in the program, where the window shows what a
// notice raises.
void SetSettleDispatch(std::function<void()> dispatch);
