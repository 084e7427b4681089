#include "virtual_backend.h"

#include "platform/short_message.h"

#include <algorithm>

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

class VirtualBackend::InputLink : public InputConnection {
  public:
    InputLink(VirtualBackend& backend, std::shared_ptr<Input> input)
        : backend_(backend), input_(std::move(input)) {}
    ~InputLink() override {
        std::lock_guard lock(backend_.mutex_);
        input_->sink.reset();
    }

  private:
    VirtualBackend& backend_;
    std::shared_ptr<Input> input_;
};

VirtualBackend::VirtualBackend() {
    reset();
}

void VirtualBackend::reset() {
    replacePorts({}, {});
    setPorts({virtual_midi::kConverterPort, virtual_midi::kLoopbackPort},
             {virtual_midi::kLoopbackInName});
}

std::vector<std::string> VirtualBackend::outputNames() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& output : outputs_)
        names.push_back(output->spec.name);
    return names;
}

std::vector<std::string> VirtualBackend::inputNames() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& input : inputs_)
        names.push_back(input->name);
    return names;
}

MMRESULT VirtualBackend::openOutput(unsigned index, std::unique_ptr<OutputConnection>& connection) {
    std::lock_guard lock(mutex_);
    if (index >= outputs_.size())
        return MMSYSERR_BADDEVICEID;
    connection = std::make_unique<OutputLink>(*this, outputs_[index]);
    return MMSYSERR_NOERROR;
}

MMRESULT VirtualBackend::openInput(unsigned index, std::shared_ptr<InputSink> sink,
                                   std::unique_ptr<InputConnection>& connection) {
    std::lock_guard lock(mutex_);
    if (index >= inputs_.size())
        return MMSYSERR_BADDEVICEID;
    if (inputs_[index]->sink)
        return MMSYSERR_ALLOCATED;
    inputs_[index]->sink = std::move(sink);
    connection = std::make_unique<InputLink>(*this, inputs_[index]);
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

// Takes out of `from` the first entry that `same` accepts, or null.
template <typename T, typename Same>
std::shared_ptr<T> takeMatching(std::vector<std::shared_ptr<T>>& from, Same same) {
    auto found =
        std::find_if(from.begin(), from.end(), [&](const auto& entry) { return same(*entry); });
    if (found == from.end())
        return nullptr;
    auto taken = std::move(*found);
    from.erase(found);
    return taken;
}

void VirtualBackend::setPorts(std::vector<virtual_midi::OutputPort> outputs,
                              std::vector<std::string> inputs) {
    replacePorts(std::move(outputs), std::move(inputs));
    portsChanged();
}

void VirtualBackend::replacePorts(std::vector<virtual_midi::OutputPort> outputs,
                                  std::vector<std::string> inputs) {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<Output>> oldOutputs = std::move(outputs_);
    outputs_.clear();
    for (auto& spec : outputs) {
        auto kept = takeMatching(oldOutputs, [&](const Output& old) {
            return old.spec.name == spec.name && old.spec.kind == spec.kind;
        });
        if (kept)
            kept->spec = std::move(spec);
        else
            kept = std::make_shared<Output>(Output{std::move(spec), {}, {}, false});
        outputs_.push_back(std::move(kept));
    }
    // What is no longer listed has been unplugged: open connections to it fail from now on.
    for (auto& gone : oldOutputs)
        gone->gone = true;
    std::vector<std::shared_ptr<Input>> oldInputs = std::move(inputs_);
    inputs_.clear();
    for (auto& name : inputs) {
        auto kept = takeMatching(oldInputs, [&](const Input& old) { return old.name == name; });
        inputs_.push_back(kept ? std::move(kept)
                               : std::make_shared<Input>(Input{std::move(name), nullptr}));
    }
}

std::vector<Bytes> VirtualBackend::received(unsigned index) {
    std::lock_guard lock(mutex_);
    return index < outputs_.size() ? outputs_[index]->received : std::vector<Bytes>{};
}

virtual_midi::ConverterState VirtualBackend::converter(unsigned index) {
    std::lock_guard lock(mutex_);
    if (index >= outputs_.size() ||
        outputs_[index]->spec.kind != virtual_midi::OutputKind::Converter)
        return {};
    return outputs_[index]->converter.state();
}

std::shared_ptr<InputSink> VirtualBackend::inputSink(unsigned index) {
    std::lock_guard lock(mutex_);
    return index < inputs_.size() ? inputs_[index]->sink : nullptr;
}

}  // namespace platform::midi
