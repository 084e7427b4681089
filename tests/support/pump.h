// Waiting for what the MIDI layers do on their own threads, on this (the test's) thread.
#pragma once

#include "platform/win32.h"

#include <functional>

// Pumps posted messages on this thread until a condition holds or a generous limit passes.
template <typename Condition>
bool PumpUntil(Condition done, int limitMs = 5000) {
    for (int waited = 0; !done() && waited < limitMs; waited += 5)
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
