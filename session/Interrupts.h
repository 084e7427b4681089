// SPDX-License-Identifier: GPL-3.0-or-later
// Ctrl+C, SIGTERM and SIGHUP taken as a request to finish rather than an end on the spot,
// for as long as it lives, so that what was started (a note sounding) is ended properly. The
// handlers only set a flag; the owner's thread looks at it.
#pragma once

#include <chrono>
#include <optional>

class Interrupts {
  public:
    Interrupts();
    // The handlers that were there before come back.
    ~Interrupts();
    Interrupts(const Interrupts&) = delete;
    Interrupts& operator=(const Interrupts&) = delete;

    // True once a signal has come, and from then on.
    bool raised() const;
    // Returns when a signal comes, or after `limit` when one is given; true for a signal.
    bool wait(std::optional<std::chrono::milliseconds> limit) const;
};
