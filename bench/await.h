// SPDX-License-Identifier: GPL-3.0-or-later
// Waiting for what a benchmark's other threads (or another process) do, with a deadline: a
// benchmark whose peer never answers ends with an error that says what it awaited and what it
// saw, instead of hanging the run.
#pragma once

#include "platform/win32.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

inline constexpr std::chrono::seconds kAwaitLimit{20};

// Runs `idle` until `seen()` is at least `target` (or, with `atMost`, at most), for
// kAwaitLimit at most. On expiry it ends the benchmark with SkipWithError and returns false;
// the caller then leaves its loop. Once the benchmark has an error, it waits no more.
template <typename Seen, typename Idle>
bool Await(benchmark::State& state, const char* awaited, Seen seen, long long target, Idle idle,
           bool atMost = false) {
    const auto reached = [&] {
        const auto now = static_cast<long long>(seen());
        return atMost ? now <= target : now >= target;
    };
    const auto deadline = std::chrono::steady_clock::now() + kAwaitLimit;
    while (!reached()) {
        if (state.error_occurred())
            return false;
        if (std::chrono::steady_clock::now() > deadline) {
            const std::string error = std::string(awaited) + ": awaited " +
                                      (atMost ? "at most " : "at least ") + std::to_string(target) +
                                      ", saw " + std::to_string(static_cast<long long>(seen())) +
                                      " after " + std::to_string(kAwaitLimit.count()) + " s";
            state.SkipWithError(error.c_str());
            return false;
        }
        idle();
    }
    return true;
}

// Until no long message of `out` waits for its completion, pumping the completions.
template <typename Output>
bool AwaitCompletions(benchmark::State& state, Output& out) {
    return Await(
        state, "completions of the long messages", [&] { return out.PendingLongMessages(); }, 0,
        [] { platform::PumpMessages(1); }, true);
}
