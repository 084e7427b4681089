#include "rtmidi_backend.h"

namespace platform::midi {
namespace {

class RtInput : public InputConnection {
  public:
    explicit RtInput(std::shared_ptr<InputSink> sink) : sink_(std::move(sink)) {}

    ~RtInput() override {
        if (in_) {
            in_->cancelCallback();
            in_->closePort();
        }
    }

    MMRESULT open(RtMidi::Api api, unsigned rtIndex) {
        try {
            in_ = std::make_unique<RtMidiIn>(api, RtMidiBackend::kClientName);
        } catch (const RtMidiError&) {
            return MMSYSERR_NODRIVER;
        }
        in_->setErrorCallback(&RtMidiErrors::record, &errors_);
        // Everything is passed on; the program decides what to drop.
        in_->ignoreTypes(false, false, false);
        in_->setCallback(&RtInput::received, this);
        in_->openPort(rtIndex, "in");
        return errors_.take();
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
        DWORD packed = 0;
        for (std::size_t i = 0; i < message->size() && i < 3; ++i)
            packed |= static_cast<DWORD>((*message)[i]) << (8 * i);
        sink.shortMessage(packed, std::nullopt);
    }

    std::shared_ptr<InputSink> sink_;
    RtMidiErrors errors_;
    std::unique_ptr<RtMidiIn> in_;
};

}  // namespace

MMRESULT RtMidiBackend::openInput(unsigned index, std::shared_ptr<InputSink> sink,
                                  std::unique_ptr<InputConnection>& connection) {
    Port port;
    {
        std::lock_guard lock(mutex_);
        const std::vector<Port> ports = list(inputProbe_);
        if (index >= ports.size())
            return MMSYSERR_BADDEVICEID;
        port = ports[index];
    }
    auto input = std::make_unique<RtInput>(std::move(sink));
    if (MMRESULT opened = input->open(api_, port.rtIndex))
        return opened;
    connection = std::move(input);
    return MMSYSERR_NOERROR;
}

}  // namespace platform::midi
