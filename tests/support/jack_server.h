// SPDX-License-Identifier: GPL-3.0-or-later
// A JACK server of the tests' own on the dummy driver (no sound hardware), under a name that no
// other program or test run uses at the same time, so that it never meets a user's server or
// that of a second test run on the machine; clients of this process find it through
// JACK_DEFAULT_SERVER.
#pragma once

#include "child_process.h"

#include <chrono>
#include <memory>
#include <string>

class JackServer {
  public:
    // How many names the test servers share (see jack_server.cpp), and how long a server waits
    // for one of them to be free.
    static constexpr int kNames = 6;
    static constexpr std::chrono::seconds kNameLimit{180};

    // Empty reason when the server runs. A JACK cycle of `frames` at 48 kHz: the tests' long
    // default (21 ms) leaves a busy machine time to finish each cycle, as a client that misses
    // one (an xrun) loses the MIDI of that cycle; the benchmarks ask for a short one.
    explicit JackServer(int frames = 1024);
    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    const std::string& unavailable() const { return reason_; }
    const std::string& name() const { return name_; }
    // Ends the name of every JACK client of the program's, so that no other test program's
    // clients have the same names (see the constructor).
    std::string suffix() const { return name_.substr(name_.rfind('-')); }

    // Kills the server as a crash would, and starts it again under the same name.
    void kill();
    bool start();
    // Stops the server as SIGSTOP does (it then answers nothing), and lets it go on.
    void freeze();
    void thaw();
    bool running() { return jackd_ && jackd_->running(); }

  private:
    bool claimName();

    std::string name_;
    std::string frames_;
    int nameLock_ = -1;
    std::unique_ptr<ChildProcess> jackd_;
    std::string reason_;
};
