// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/short_message.h"
#include "rtmidi_backend.h"

namespace platform::midi {
namespace {

class RtInput : public InputConnection {
  public:
    explicit RtInput(std::shared_ptr<InputSink> sink) : sink_(std::move(sink)) {}

    ~RtInput() override {
        if (!live_)
            return;
        std::lock_guard lock(live_->mutex);
        if (live_->in) {
            live_->in->cancelCallback();
            live_->in->closePort();
            live_->in.reset();
        }
    }

    void attach(std::shared_ptr<LiveClient> live) { live_ = std::move(live); }

    void setUp(RtMidiIn& in) {
        // Everything is passed on; the program decides what to drop.
        in.ignoreTypes(false, false, false);
        in.setCallback(&RtInput::received, this);
    }

  private:
    // RtMidi's thread: a whole message, System Exclusive assembled.
    static void received(double, std::vector<unsigned char>* message, void* self) {
        if (message == nullptr || message->empty())
            return;
        auto& sink = *static_cast<RtInput*>(self)->sink_;
        if ((*message)[0] == 0xF0) {
            sink.sysex(Bytes(message->begin(), message->end()), std::nullopt);
            return;
        }
        sink.shortMessage(platform::PackShortMessage(*message), std::nullopt);
    }

    std::shared_ptr<InputSink> sink_;
    std::shared_ptr<LiveClient> live_;
};

}  // namespace

MMRESULT RtMidiBackend::openInput(unsigned index, std::shared_ptr<InputSink> sink,
                                  std::unique_ptr<InputConnection>& connection) {
    auto input = std::make_unique<RtInput>(std::move(sink));
    std::shared_ptr<LiveClient> live;
    const MMRESULT opened = openPort(
        index, false,
        [&](LiveClient& client, unsigned rtIndex) {
            return client.open<RtMidiIn>(api_, ProgramClientName().c_str(), rtIndex,
                                         [&](RtMidiIn& in) { input->setUp(in); });
        },
        live);
    if (opened != MMSYSERR_NOERROR)
        return opened;
    input->attach(std::move(live));
    connection = std::move(input);
    return MMSYSERR_NOERROR;
}

}  // namespace platform::midi
