// SPDX-License-Identifier: GPL-3.0-or-later
// The one thread on which the winmm layer sends, receives and calls the driver callbacks, as a
// Windows MIDI driver does on its own thread. Jobs run in the order they were posted.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace platform::midi {

class DeliveryThread {
  public:
    DeliveryThread();
    ~DeliveryThread();
    DeliveryThread(const DeliveryThread&) = delete;
    DeliveryThread& operator=(const DeliveryThread&) = delete;

    using Clock = std::chrono::steady_clock;

    void post(std::function<void()> job);
    // Runs the job once `due` has come, behind the jobs queued by then; jobs due at the same
    // time run in the order they were posted. What is still waiting when the thread stops
    // runs at once.
    void postAt(Clock::time_point due, std::function<void()> job);
    // Runs the job after every job posted before it (with `next`, after the one running now)
    // and returns when it has run. On the delivery thread itself (a driver callback calling in)
    // it runs at once, since jobs there already run one at a time and waiting would never end.
    void runAndWait(const std::function<void()>& job, bool next = false);
    // Waits until no job is queued, waiting for its time or running, including jobs that
    // jobs posted.
    void flush();
    bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

  private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    bool busy_ = false;
    std::deque<std::function<void()>> jobs_;
    std::multimap<Clock::time_point, std::function<void()>> timed_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace platform::midi
