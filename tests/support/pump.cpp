#include "pump.h"

#include "platform/virtual_midi.h"
#include "platform/win32.h"

#include <utility>

namespace {

std::function<void(int)>& pumpInUse() {
    static std::function<void(int)> pump;
    return pump;
}

}  // namespace

void Pump(int waitMs) {
    if (pumpInUse()) {
        pumpInUse()(waitMs);
        return;
    }
    platform::PumpMessages(waitMs);
    while (platform::PumpMessages(0) > 0) {
    }
}

std::function<void(int)> SetPump(std::function<void(int)> pump) {
    return std::exchange(pumpInUse(), std::move(pump));
}

void Settle() {
    for (int round = 0; round < 3; ++round) {
        virtual_midi::Flush();
        Pump(0);
    }
}
