// SPDX-License-Identifier: GPL-3.0-or-later
// A program the tests start, its standard output and error kept in a file for reading; stopped
// (SIGTERM, then SIGKILL) when the object goes.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

class ChildProcess {
  public:
    // Starts `argv` (looked up in PATH). Check running() afterwards.
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool running();
    // Everything printed so far.
    const std::string& output();
    // Waits until the output holds `text` or the time is up.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds limit);
    // Waits for it to end by itself, reading its output meanwhile: its exit code, or -1 when it
    // was still running after `limit` (it is stopped then) or ended through a signal.
    int exitCode(std::chrono::milliseconds limit);
    void stop();
    // Ends it at once, as a crash would (SIGKILL).
    void kill();
    // Sends it a signal.
    void signal(int number);
    pid_t pid() const { return pid_; }

    static bool installed(const std::string& program);

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
};
