// SPDX-License-Identifier: GPL-3.0-or-later
#include "rtmidi_backend.h"

namespace platform::midi {
namespace {

class RtOutput : public OutputConnection {
  public:
    explicit RtOutput(std::shared_ptr<LiveClient> live) : live_(std::move(live)) {}

    ~RtOutput() override {
        std::lock_guard lock(live_->mutex);
        live_->out.reset();
    }

    // A port that has gone away takes messages without a word on some hosts, so what the
    // watcher last saw of it decides.
    MMRESULT send(std::span<const std::uint8_t> bytes) override {
        std::lock_guard lock(live_->mutex);
        if (!live_->out || !live_->present.load(std::memory_order_relaxed))
            return MIDIERR_NODEVICE;
        live_->out->sendMessage(bytes.data(), bytes.size());
        return live_->errors.take();
    }

  private:
    std::shared_ptr<LiveClient> live_;
};

}  // namespace

MMRESULT RtMidiBackend::openOutput(unsigned index, std::unique_ptr<OutputConnection>& connection) {
    std::shared_ptr<LiveClient> live;
    const MMRESULT opened = openPort(
        index, true,
        [this](LiveClient& client, unsigned rtIndex) {
            return client.open<RtMidiOut>(api_, ProgramClientName().c_str(), rtIndex,
                                          [](RtMidiOut&) {});
        },
        live);
    if (opened == MMSYSERR_NOERROR)
        connection = std::make_unique<RtOutput>(std::move(live));
    return opened;
}

}  // namespace platform::midi
