// SPDX-License-Identifier: GPL-3.0-or-later
// State that the winmm output and input functions share: the backend, the delivery thread,
// the lock that guards every open port and header, and the held completions of tests.
#pragma once

#include "backend.h"
#include "delivery_thread.h"
#include "platform/win32.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform::midi {

struct Callback {
    DWORD type = CALLBACK_NULL;
    DWORD_PTR function = 0;
    DWORD_PTR instance = 0;

    // Calls the driver callback, if there is one. Never with the engine lock held.
    void notify(void* handle, UINT message, DWORD_PTR param1, DWORD_PTR param2) const;
};

// Checks the callback arguments of midiOutOpen/midiInOpen.
MMRESULT ParseCallback(DWORD_PTR function, DWORD_PTR instance, DWORD flags, Callback& callback);

// Milliseconds since `start`, as a MIDI input time stamp.
DWORD MillisecondsSince(std::chrono::steady_clock::time_point start);

class Engine {
  public:
    static Engine& instance();

    Backend& backend() { return SelectedBackend(); }
    DeliveryThread& delivery() { return delivery_; }
    // Guards every port record, the headers while the layer owns them, and the held completions.
    std::mutex& mutex() { return mutex_; }

    // Runs a finished long message's completion now, or keeps it while completions are held.
    // Call with the lock held; returns the completion to run after unlocking, if any.
    std::function<void()> completeOrHold(std::function<void()> completion);
    void holdCompletions(bool hold);
    // Posts every held completion to the delivery thread, in the order they were held,
    // including those of messages sent before the call and not yet at the hold.
    void releaseCompletions();
    std::size_t heldCompletions();

    std::uintptr_t newHandle() { return nextHandle_++; }
    // Open ports of either direction; with the lock held.
    int& openPorts() { return openPorts_; }

    // Stops holding and releases what was held. For tests between cases.
    void resetTestControls();

  private:
    Engine() = default;

    std::mutex mutex_;
    int openPorts_ = 0;
    bool holding_ = false;
    std::vector<std::function<void()>> held_;
    std::uintptr_t nextHandle_ = 1;
    // Last member: destroyed first, so no job runs against the members above.
    DeliveryThread delivery_;
};

// Port names as the program sees them: at most 31 bytes, never cut inside a UTF-8 sequence,
// invalid UTF-8 replaced, and distinct (a repeated name gets " 2", " 3", ...). Each port keeps
// its name for the run, and a name once given is never given to another port (see
// kPortKeySeparator).
// The names are made from what `backend` shows of each.
std::vector<std::string> FitPortNames(bool outputs, const std::vector<std::string>& names,
                                      const Backend& backend);
// Forgets the names given so far; for tests between cases.
void ForgetPortNames();
// A listed name without its key: the port's whole name as the host gives it.
std::string FullPortName(const std::string& listed);

// Copies a fitted name into a caps record's 32-byte name field.
void CopyPortName(const std::string& name, CHAR (&field)[MAXPNAMELEN]);

}  // namespace platform::midi
