// SPDX-License-Identifier: GPL-3.0-or-later
#include "Interrupts.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <thread>

namespace {

// A lock-free atomic is what a signal handler may touch.
std::atomic<bool> signalled{false};
static_assert(std::atomic<bool>::is_always_lock_free);

#ifdef SIGHUP
constexpr std::array kSignals{SIGINT, SIGTERM, SIGHUP};
#else
constexpr std::array kSignals{SIGINT, SIGTERM};
#endif
std::array<void (*)(int), kSignals.size()> previous{};

extern "C" void Signalled(int) {
    signalled.store(true);
}

}  // namespace

Interrupts::Interrupts() {
    signalled.store(false);
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        previous[i] = std::signal(kSignals[i], Signalled);
}

Interrupts::~Interrupts() {
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        std::signal(kSignals[i], previous[i] == SIG_ERR ? SIG_DFL : previous[i]);
}

bool Interrupts::raised() const {
    return signalled.load();
}

bool Interrupts::wait(std::optional<std::chrono::milliseconds> limit) const {
    // A handler cannot wake a condition variable safely; a short look at the flag answers a
    // signal well within what a person notices.
    constexpr auto kLook = std::chrono::milliseconds(10);
    const auto end = limit ? std::chrono::steady_clock::now() + *limit
                           : std::chrono::steady_clock::time_point::max();
    while (!raised()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            return false;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(kLook, end - now));
    }
    return true;
}
