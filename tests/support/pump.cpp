#include "pump.h"

#include "platform/virtual_midi.h"

#include <utility>

namespace {

std::function<void()>& settleDispatch() {
    static std::function<void()> dispatch = [] {
        while (platform::PumpMessages(0) > 0) {
        }
    };
    return dispatch;
}

}  // namespace

void Settle() {
    for (int round = 0; round < 3; ++round) {
        virtual_midi::Flush();
        settleDispatch()();
    }
}

void SetSettleDispatch(std::function<void()> dispatch) {
    settleDispatch() = std::move(dispatch);
}
