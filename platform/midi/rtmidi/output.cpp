#include "rtmidi_backend.h"

namespace platform::midi {
namespace {

class RtOutput : public OutputConnection {
  public:
    RtOutput(RtMidiBackend& backend, std::string name)
        : backend_(backend), name_(std::move(name)) {}

    MMRESULT open(RtMidi::Api api, unsigned rtIndex) {
        try {
            out_ = std::make_unique<RtMidiOut>(api, RtMidiBackend::kClientName);
        } catch (const RtMidiError&) {
            return MMSYSERR_NODRIVER;
        }
        out_->setErrorCallback(&RtMidiErrors::record, &errors_);
        out_->openPort(rtIndex, "out");
        return errors_.take();
    }

    // A port that has gone away takes messages without a word on some hosts, so it is looked
    // for before each message.
    MMRESULT send(std::span<const std::uint8_t> bytes) override {
        if (!backend_.outputListed(name_))
            return MIDIERR_NODEVICE;
        out_->sendMessage(bytes.data(), bytes.size());
        return errors_.take();
    }

  private:
    RtMidiBackend& backend_;
    std::string name_;
    RtMidiErrors errors_;
    std::unique_ptr<RtMidiOut> out_;
};

}  // namespace

MMRESULT RtMidiBackend::openOutput(unsigned index, std::unique_ptr<OutputConnection>& connection) {
    Port port;
    {
        std::lock_guard lock(mutex_);
        const std::vector<Port> ports = list(outputProbe_);
        if (index >= ports.size())
            return MMSYSERR_BADDEVICEID;
        port = ports[index];
    }
    auto output = std::make_unique<RtOutput>(*this, port.name);
    if (MMRESULT opened = output->open(api_, port.rtIndex))
        return opened;
    connection = std::move(output);
    return MMSYSERR_NOERROR;
}

}  // namespace platform::midi
