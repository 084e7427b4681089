// SPDX-License-Identifier: GPL-3.0-or-later
#include "rtmidi_backend.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace platform::midi {
namespace {

using Clock = std::chrono::steady_clock;

// RtMidi hands JACK what it was given in its next cycle; closing the port before then loses it
// without a word. A close waits for two cycles after the last send, a second at most.
constexpr auto kLongestDrain = std::chrono::seconds(1);

class RtOutput : public OutputConnection {
  public:
    RtOutput(std::shared_ptr<LiveClient> live, std::chrono::microseconds cycle)
        : live_(std::move(live)), cycle_(cycle) {}

    ~RtOutput() override {
        std::lock_guard lock(live_->mutex);
        if (live_->out && live_->present.load(std::memory_order_relaxed) && cycle_.count() > 0)
            std::this_thread::sleep_until(
                std::min(lastSend_ + 2 * cycle_, Clock::now() + kLongestDrain));
        live_->out.reset();
    }

    // A port that has gone away takes messages without a word on some hosts, so what the
    // watcher last saw of it decides.
    MMRESULT send(std::span<const std::uint8_t> bytes) override {
        std::lock_guard lock(live_->mutex);
        if (!live_->out || !live_->present.load(std::memory_order_relaxed))
            return MIDIERR_NODEVICE;
        live_->out->sendMessage(bytes.data(), bytes.size());
        lastSend_ = Clock::now();
        return live_->errors.take();
    }

  private:
    std::shared_ptr<LiveClient> live_;
    const std::chrono::microseconds cycle_;  // JACK's cycle; zero for the other hosts
    Clock::time_point lastSend_{};           // with live_->mutex
};

}  // namespace

MMRESULT RtMidiBackend::openOutput(unsigned index, std::unique_ptr<OutputConnection>& connection) {
    std::shared_ptr<LiveClient> live;
    const MMRESULT opened = openPort(
        index, true,
        [this](LiveClient& client, unsigned rtIndex) {
            return client.open<RtMidiOut>(api_, ClientName().c_str(), rtIndex, [](RtMidiOut&) {});
        },
        live);
    if (opened == MMSYSERR_NOERROR)
        connection = std::make_unique<RtOutput>(std::move(live), api_ == RtMidi::UNIX_JACK
                                                                     ? jack_.cycle()
                                                                     : std::chrono::microseconds{});
    return opened;
}

}  // namespace platform::midi
