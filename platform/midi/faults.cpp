#include "faults.h"

#include <array>
#include <atomic>

namespace platform::midi {
namespace {

std::array<std::atomic<MMRESULT>, static_cast<std::size_t>(Operation::Count)> faults{};

}  // namespace

MMRESULT TakeFault(Operation operation) {
    auto& slot = faults[static_cast<std::size_t>(operation)];
    // Cheap check first: the common case is no fault at all.
    if (slot.load(std::memory_order_relaxed) == MMSYSERR_NOERROR)
        return MMSYSERR_NOERROR;
    return slot.exchange(MMSYSERR_NOERROR, std::memory_order_relaxed);
}

void SetFault(Operation operation, MMRESULT code) {
    faults[static_cast<std::size_t>(operation)].store(code, std::memory_order_relaxed);
}

void ClearFaults() {
    for (auto& slot : faults)
        slot.store(MMSYSERR_NOERROR, std::memory_order_relaxed);
}

}  // namespace platform::midi
