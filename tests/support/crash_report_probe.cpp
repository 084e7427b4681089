// SPDX-License-Identifier: GPL-3.0-or-later
// Ends as a test program that a thread's uncaught exception ends, for the check that the log
// then holds the exception's message and a backtrace.
#include <stdexcept>
#include <thread>

int main() {
    std::thread([] { throw std::runtime_error("the probe's message"); }).join();
}
