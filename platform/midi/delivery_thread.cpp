// SPDX-License-Identifier: GPL-3.0-or-later
#include "delivery_thread.h"

#include <future>

namespace platform::midi {

DeliveryThread::DeliveryThread() : thread_([this] { run(); }) {}

DeliveryThread::~DeliveryThread() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void DeliveryThread::post(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void DeliveryThread::postAt(Clock::time_point due, std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        timed_.emplace(due, std::move(job));
    }
    wake_.notify_one();
}

void DeliveryThread::runAndWait(const std::function<void()>& job, bool next) {
    if (isCurrent()) {
        job();
        return;
    }
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::function<void()> wrapped = [&] {
        job();
        done.set_value();
    };
    {
        std::lock_guard lock(mutex_);
        if (next)
            jobs_.push_front(std::move(wrapped));
        else
            jobs_.push_back(std::move(wrapped));
    }
    wake_.notify_one();
    finished.wait();
}

void DeliveryThread::flush() {
    if (isCurrent())
        return;
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && timed_.empty() && !busy_; });
}

void DeliveryThread::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        // Timed jobs whose time has come join the queue, in the order of their times.
        const auto now = Clock::now();
        while (!timed_.empty() && (stopping_ || timed_.begin()->first <= now)) {
            jobs_.push_back(std::move(timed_.begin()->second));
            timed_.erase(timed_.begin());
        }
        if (jobs_.empty()) {
            if (stopping_)
                return;
            if (timed_.empty())
                wake_.wait(lock);
            else
                wake_.wait_until(lock, timed_.begin()->first);
            continue;
        }
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        job();
        job = nullptr;  // what the job holds is released before anyone sees the thread idle
        lock.lock();
        busy_ = false;
        if (jobs_.empty() && timed_.empty())
            idle_.notify_all();
    }
}

}  // namespace platform::midi
