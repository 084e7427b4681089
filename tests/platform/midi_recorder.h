// A driver callback for tests: records every call with the thread it came from.
#pragma once

#include "platform/win32.h"

#include <mutex>
#include <thread>
#include <vector>

struct CallbackCall {
    void* handle;
    UINT message;
    DWORD_PTR param1;
    DWORD_PTR param2;
    std::thread::id thread;
};

class CallbackRecorder {
  public:
    static void CALLBACK callback(HDRVR handle, UINT message, DWORD_PTR instance, DWORD_PTR p1,
                                  DWORD_PTR p2) {
        auto* self = reinterpret_cast<CallbackRecorder*>(instance);
        std::lock_guard lock(self->mutex_);
        self->calls_.push_back({handle, message, p1, p2, std::this_thread::get_id()});
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
