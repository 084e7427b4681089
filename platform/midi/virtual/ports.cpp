// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual port lists: what tests set, what stays across a change, what each port holds.
#include "virtual_backend.h"

#include <algorithm>

namespace platform::midi {

VirtualBackend::VirtualBackend() {
    reset();
}

void VirtualBackend::reset() {
    replacePorts({}, {});
    setPorts({virtual_midi::kConverterPort, virtual_midi::kLoopbackPort,
              virtual_midi::kDinConverterPort},
             {virtual_midi::kLoopbackInName});
}

std::vector<std::string> VirtualBackend::outputNames() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& output : outputs_)
        names.push_back(output->spec.name + kPortKeySeparator + std::to_string(output->serial));
    return names;
}

std::vector<std::string> VirtualBackend::inputNames() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& input : inputs_)
        names.push_back(input->name + kPortKeySeparator + std::to_string(input->serial));
    return names;
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
        if (!kept) {
            kept = std::make_shared<Output>();
            kept->serial = ++serials_;
        }
        kept->spec = std::move(spec);
        outputs_.push_back(std::move(kept));
    }
    // What is no longer listed has been unplugged: open connections to it fail from now on.
    for (auto& gone : oldOutputs)
        gone->gone = true;
    std::vector<std::shared_ptr<Input>> oldInputs = std::move(inputs_);
    inputs_.clear();
    for (auto& name : inputs) {
        auto kept = takeMatching(oldInputs, [&](const Input& old) { return old.name == name; });
        inputs_.push_back(
            kept ? std::move(kept)
                 : std::make_shared<Input>(Input{std::move(name), nullptr, ++serials_}));
    }
}

std::vector<Bytes> VirtualBackend::received(unsigned index) {
    std::lock_guard lock(mutex_);
    if (index >= outputs_.size())
        return {};
    land(*outputs_[index]);
    return outputs_[index]->received;
}

std::vector<virtual_midi::ByteArrival> VirtualBackend::arrivals(unsigned index) {
    std::lock_guard lock(mutex_);
    if (index >= outputs_.size())
        return {};
    std::vector<virtual_midi::ByteArrival> landed = outputs_[index]->arrivals;
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(landed, [now](const virtual_midi::ByteArrival& byte) { return byte.at > now; });
    return landed;
}

std::chrono::steady_clock::time_point VirtualBackend::cablesFreeAt() {
    std::lock_guard lock(mutex_);
    std::chrono::steady_clock::time_point free{};
    for (const auto& output : outputs_)
        free = std::max(free, output->cableFreeAt);
    return free;
}

virtual_midi::ConverterState VirtualBackend::converter(unsigned index) {
    std::lock_guard lock(mutex_);
    if (index >= outputs_.size() ||
        outputs_[index]->spec.kind != virtual_midi::OutputKind::Converter)
        return {};
    land(*outputs_[index]);
    return outputs_[index]->converter.state();
}

std::shared_ptr<InputSink> VirtualBackend::inputSink(unsigned index) {
    std::lock_guard lock(mutex_);
    return index < inputs_.size() ? inputs_[index]->sink : nullptr;
}

}  // namespace platform::midi
