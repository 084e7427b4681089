// SPDX-License-Identifier: GPL-3.0-or-later
// A call into libjack that waits for the server, with a deadline: a server that is stopped
// (SIGSTOP) or stuck never answers, and libjack waits for it without a limit of its own.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace platform::midi {

// Runs `call` on a thread of its own and waits `limit` at most for its result. Empty when the
// call took longer: its thread is left to finish by itself, and hands what the call returns
// then to `late` (which frees what it holds). Everything `call` and `late` use is captured by
// value, as they may outlive the caller.
template <typename Call, typename Late>
auto WithinDeadline(std::chrono::milliseconds limit, Call call, Late late)
    -> std::optional<decltype(call())> {
    using Result = decltype(call());
    struct Pending {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Result> result;
        bool abandoned = false;
    };
    auto pending = std::make_shared<Pending>();
    std::thread([pending, call = std::move(call), late = std::move(late)]() mutable {
        Result result = call();
        std::unique_lock lock(pending->mutex);
        if (pending->abandoned) {
            lock.unlock();
            late(std::move(result));
            return;
        }
        pending->result.emplace(std::move(result));
        pending->done.notify_all();
    }).detach();
    std::unique_lock lock(pending->mutex);
    if (!pending->done.wait_for(lock, limit, [&] { return pending->result.has_value(); })) {
        pending->abandoned = true;
        return std::nullopt;
    }
    return std::move(pending->result);
}

}  // namespace platform::midi
