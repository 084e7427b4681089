// SPDX-License-Identifier: GPL-3.0-or-later
// Virtual outputs: what is sent is recorded, decoded by the simulated converter, or looped back
// to an input; a port behind a DIN cable takes it at once and lets it arrive a byte at a time.
#include "platform/short_message.h"
#include "virtual_backend.h"

namespace platform::midi {

using Clock = std::chrono::steady_clock;

class VirtualBackend::OutputLink : public OutputConnection {
  public:
    OutputLink(VirtualBackend& backend, std::shared_ptr<Output> output)
        : backend_(backend), output_(std::move(output)) {}

    MMRESULT send(std::span<const std::uint8_t> bytes) override {
        return backend_.take(*output_, bytes);
    }

    Clock::time_point doneAt() const override {
        std::lock_guard lock(backend_.mutex_);
        return output_->cableFreeAt;
    }

  private:
    VirtualBackend& backend_;
    std::shared_ptr<Output> output_;
};

WORD VirtualBackend::outputTechnology(unsigned index) {
    std::lock_guard lock(mutex_);
    return index < outputs_.size() && outputs_[index]->spec.dinCable ? MOD_MIDIPORT : MOD_SWSYNTH;
}

MMRESULT VirtualBackend::openOutput(unsigned index, std::unique_ptr<OutputConnection>& connection) {
    std::lock_guard lock(mutex_);
    if (index >= outputs_.size())
        return MMSYSERR_BADDEVICEID;
    connection = std::make_unique<OutputLink>(*this, outputs_[index]);
    return MMSYSERR_NOERROR;
}

namespace {

// Drops the older half of a record that has grown to twice what is kept.
template <typename Record>
void bound(Record& record, std::size_t kept) {
    if (record.size() >= 2 * kept)
        record.erase(record.begin(), record.end() - static_cast<std::ptrdiff_t>(kept));
}

}  // namespace

void VirtualBackend::arrive(Output& output, std::span<const std::uint8_t> bytes) {
    output.received.emplace_back(bytes.begin(), bytes.end());
    bound(output.received, virtual_midi::kRecordedMessages);
    if (output.spec.kind == virtual_midi::OutputKind::Converter)
        output.converter.receive(bytes);
}

void VirtualBackend::land(Output& output) {
    const auto now = Clock::now();
    while (!output.onCable.empty() && output.onCable.front().first <= now) {
        arrive(output, output.onCable.front().second);
        output.onCable.pop_front();
    }
}

MMRESULT VirtualBackend::take(Output& output, std::span<const std::uint8_t> bytes) {
    std::shared_ptr<InputSink> forwardTo;
    {
        std::lock_guard lock(mutex_);
        if (output.gone)
            return MIDIERR_NODEVICE;
        if (output.spec.dinCable) {
            // The driver buffer takes it at once; the cable sends one byte after the other.
            land(output);
            const auto taken = Clock::now();
            auto at = std::max(taken, output.cableFreeAt);
            for (std::uint8_t byte : bytes) {
                at += virtual_midi::kDinByteTime;
                output.arrivals.push_back({byte, at, taken});
            }
            bound(output.arrivals, virtual_midi::kRecordedBytes);
            output.cableFreeAt = at;
            output.onCable.emplace_back(at, Bytes(bytes.begin(), bytes.end()));
            return MMSYSERR_NOERROR;
        }
        arrive(output, bytes);
        const auto target = static_cast<std::size_t>(output.spec.loopbackInput);
        if (output.spec.kind == virtual_midi::OutputKind::Loopback &&
            output.spec.loopbackInput >= 0 && target < inputs_.size())
            forwardTo = inputs_[target]->sink;
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
