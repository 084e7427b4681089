// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual backend's control functions for tests.
#include "../engine.h"
#include "../faults.h"
#include "platform/virtual_midi.h"
#include "virtual_backend.h"

#include <stdexcept>
#include <thread>

namespace virtual_midi {
namespace {

platform::midi::VirtualBackend* backend() {
    return dynamic_cast<platform::midi::VirtualBackend*>(&platform::midi::SelectedBackend());
}

platform::midi::VirtualBackend& required() {
    platform::midi::VirtualBackend* ports = backend();
    if (ports == nullptr)
        throw std::logic_error("the virtual MIDI ports need RDN417_MIDI_BACKEND=virtual");
    return *ports;
}

}  // namespace

bool Active() {
    return backend() != nullptr;
}

void SetPorts(std::vector<OutputPort> outputs, std::vector<std::string> inputs) {
    required().setPorts(std::move(outputs), std::move(inputs));
}

void Reset() {
    auto& engine = platform::midi::Engine::instance();
    platform::midi::ClearFaults();
    engine.resetTestControls();
    engine.delivery().flush();
    required().reset();
}

std::vector<Bytes> Received(unsigned index) {
    return required().received(index);
}

ConverterState Converter(unsigned index) {
    return required().converter(index);
}

bool InjectShort(unsigned index, DWORD packed, std::optional<DWORD> timestamp) {
    auto sink = required().inputSink(index);
    if (!sink)
        return false;
    sink->shortMessage(packed, timestamp);
    return true;
}

bool InjectSysex(unsigned index, Bytes bytes, std::optional<DWORD> timestamp) {
    auto sink = required().inputSink(index);
    if (!sink)
        return false;
    sink->sysex(std::move(bytes), timestamp);
    return true;
}

std::vector<ByteArrival> Arrivals(unsigned index) {
    return required().arrivals(index);
}

void Flush() {
    platform::midi::Engine::instance().delivery().flush();
    if (auto* ports = backend())
        std::this_thread::sleep_until(ports->cablesFreeAt());
}

void HoldCompletions(bool hold) {
    platform::midi::Engine::instance().holdCompletions(hold);
}

void ReleaseCompletions() {
    platform::midi::Engine::instance().releaseCompletions();
}

std::size_t HeldCompletions() {
    return platform::midi::Engine::instance().heldCompletions();
}

void FailNext(platform::midi::Operation operation, MMRESULT code, unsigned skip) {
    platform::midi::SetFault(operation, code, skip);
}

void OnEveryCall(std::function<void(platform::midi::Operation)> hook) {
    platform::midi::SetCallHook(std::move(hook));
}

}  // namespace virtual_midi
