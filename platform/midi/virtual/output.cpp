// Virtual outputs: what is sent is recorded, decoded by the simulated converter, or looped back
// to an input.
#include "platform/short_message.h"
#include "virtual_backend.h"

namespace platform::midi {

class VirtualBackend::OutputLink : public OutputConnection {
  public:
    OutputLink(VirtualBackend& backend, std::shared_ptr<Output> output)
        : backend_(backend), output_(std::move(output)) {}

    MMRESULT send(std::span<const std::uint8_t> bytes) override {
        return backend_.take(*output_, bytes);
    }

  private:
    VirtualBackend& backend_;
    std::shared_ptr<Output> output_;
};

MMRESULT VirtualBackend::openOutput(unsigned index, std::unique_ptr<OutputConnection>& connection) {
    std::lock_guard lock(mutex_);
    if (index >= outputs_.size())
        return MMSYSERR_BADDEVICEID;
    connection = std::make_unique<OutputLink>(*this, outputs_[index]);
    return MMSYSERR_NOERROR;
}

MMRESULT VirtualBackend::take(Output& output, std::span<const std::uint8_t> bytes) {
    std::shared_ptr<InputSink> forwardTo;
    {
        std::lock_guard lock(mutex_);
        if (output.gone)
            return MIDIERR_NODEVICE;
        output.received.emplace_back(bytes.begin(), bytes.end());
        switch (output.spec.kind) {
            case virtual_midi::OutputKind::Converter:
                output.converter.receive(bytes);
                break;
            case virtual_midi::OutputKind::Loopback: {
                const auto target = static_cast<std::size_t>(output.spec.loopbackInput);
                if (output.spec.loopbackInput >= 0 && target < inputs_.size())
                    forwardTo = inputs_[target]->sink;
                break;
            }
            case virtual_midi::OutputKind::Sink:
                break;
        }
    }
    if (!forwardTo || bytes.empty())
        return MMSYSERR_NOERROR;
    if (bytes[0] == 0xF0) {
        forwardTo->sysex(Bytes(bytes.begin(), bytes.end()), std::nullopt);
    } else {
        forwardTo->shortMessage(platform::PackShortMessage(bytes), std::nullopt);
    }
    return MMSYSERR_NOERROR;
}

}  // namespace platform::midi
