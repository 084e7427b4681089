// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine.h"

namespace platform::midi {

void Callback::notify(void* handle, UINT message, DWORD_PTR param1, DWORD_PTR param2) const {
    if (type != CALLBACK_FUNCTION)
        return;
    auto* procedure = reinterpret_cast<LPDRVCALLBACK>(function);
    procedure(static_cast<HDRVR>(handle), message, instance, param1, param2);
}

MMRESULT ParseCallback(DWORD_PTR function, DWORD_PTR instance, DWORD flags, Callback& callback) {
    constexpr DWORD kMidiIoStatus = 0x20;
    if (flags & ~(CALLBACK_TYPEMASK | kMidiIoStatus))
        return MMSYSERR_INVALFLAG;
    const DWORD type = flags & CALLBACK_TYPEMASK;
    if (type == CALLBACK_FUNCTION && function == 0)
        return MMSYSERR_INVALPARAM;
    // Window, thread and event callbacks have no counterpart here.
    if (type != CALLBACK_NULL && type != CALLBACK_FUNCTION)
        return MMSYSERR_NOTSUPPORTED;
    callback = Callback{type, function, instance};
    return MMSYSERR_NOERROR;
}

DWORD MillisecondsSince(std::chrono::steady_clock::time_point start) {
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

Engine& Engine::instance() {
    static Engine engine;
    return engine;
}

std::function<void()> Engine::completeOrHold(std::function<void()> completion) {
    if (!holding_)
        return completion;
    held_.push_back(std::move(completion));
    return {};
}

void Engine::holdCompletions(bool hold) {
    std::lock_guard lock(mutex_);
    holding_ = hold;
}

void Engine::releaseCompletions() {
    // Messages sent before this call count as held even if they are still on their way.
    delivery_.flush();
    std::vector<std::function<void()>> released;
    {
        std::lock_guard lock(mutex_);
        released.swap(held_);
    }
    for (auto& completion : released)
        delivery_.post(std::move(completion));
}

std::size_t Engine::heldCompletions() {
    std::lock_guard lock(mutex_);
    return held_.size();
}

void Engine::resetTestControls() {
    ForgetPortNames();
    {
        std::lock_guard lock(mutex_);
        holding_ = false;
    }
    releaseCompletions();
}

}  // namespace platform::midi
