// SPDX-License-Identifier: GPL-3.0-or-later
// What the platform's MIDI tests share: a driver callback that records every call with the
// thread it came from and its time, and headers over bytes that a test keeps.
#pragma once

#include "parameter_bytes.h"
#include "platform/win32.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

struct CallbackCall {
    void* handle;
    UINT message;
    DWORD_PTR param1;
    DWORD_PTR param2;
    std::thread::id thread;
    std::chrono::steady_clock::time_point at;
};

// A header over `bytes`, as a program hands one to a port.
inline MIDIHDR HeaderOver(std::vector<char>& bytes) {
    MIDIHDR h{};
    h.lpData = bytes.data();
    h.dwBufferLength = static_cast<DWORD>(bytes.size());
    return h;
}

// A parameter message as a header's data holds it.
inline std::vector<char> ParameterChars(int channel, int code, int value) {
    const std::vector<std::uint8_t> bytes = Parameter(channel, code, value);
    return {bytes.begin(), bytes.end()};
}

class CallbackRecorder {
  public:
    static void CALLBACK callback(HDRVR handle, UINT message, DWORD_PTR instance, DWORD_PTR p1,
                                  DWORD_PTR p2) {
        auto* self = reinterpret_cast<CallbackRecorder*>(instance);
        std::lock_guard lock(self->mutex_);
        self->calls_.push_back({handle, message, p1, p2, std::this_thread::get_id(),
                                std::chrono::steady_clock::now()});
    }

    DWORD_PTR function() const { return reinterpret_cast<DWORD_PTR>(&callback); }
    DWORD_PTR instance() { return reinterpret_cast<DWORD_PTR>(this); }

    std::vector<CallbackCall> calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    // The calls carrying `message`, in order.
    std::vector<CallbackCall> calls(UINT message) {
        std::vector<CallbackCall> matching;
        for (const auto& call : calls())
            if (call.message == message)
                matching.push_back(call);
        return matching;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }

  private:
    std::mutex mutex_;
    std::vector<CallbackCall> calls_;
};
