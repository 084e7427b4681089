// SPDX-License-Identifier: GPL-3.0-or-later
#include "faults.h"

#include <array>
#include <atomic>
#include <mutex>

namespace platform::midi {
namespace {

struct Fault {
    MMRESULT code = MMSYSERR_NOERROR;
    unsigned skip = 0;
};

std::atomic<bool> armed{false};
std::mutex mutex;
std::array<Fault, static_cast<std::size_t>(Operation::Count)> faults;
std::function<void(Operation)> hook;

}  // namespace

MMRESULT TakeFault(Operation operation) {
    // The common case, nothing armed, costs one load.
    if (!armed.load(std::memory_order_acquire))
        return MMSYSERR_NOERROR;
    std::function<void(Operation)> observer;
    MMRESULT code = MMSYSERR_NOERROR;
    {
        std::lock_guard lock(mutex);
        observer = hook;
        Fault& fault = faults[static_cast<std::size_t>(operation)];
        if (fault.code != MMSYSERR_NOERROR) {
            if (fault.skip > 0) {
                --fault.skip;
            } else {
                code = fault.code;
                fault.code = MMSYSERR_NOERROR;
            }
        }
    }
    if (observer)
        observer(operation);
    return code;
}

void SetFault(Operation operation, MMRESULT code, unsigned skip) {
    std::lock_guard lock(mutex);
    faults[static_cast<std::size_t>(operation)] = Fault{code, skip};
    armed.store(true, std::memory_order_release);
}

void SetCallHook(std::function<void(Operation)> observer) {
    std::lock_guard lock(mutex);
    hook = std::move(observer);
    armed.store(true, std::memory_order_release);
}

void ClearFaults() {
    std::lock_guard lock(mutex);
    faults.fill(Fault{});
    hook = nullptr;
    armed.store(false, std::memory_order_release);
}

}  // namespace platform::midi
