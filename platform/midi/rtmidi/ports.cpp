// SPDX-License-Identifier: GPL-3.0-or-later
#include "rtmidi_backend.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>

namespace platform::midi {
namespace {

// How often the watcher looks for open outputs whose port has gone: the host does not say.
constexpr auto kWatchPeriod = std::chrono::milliseconds(200);

// RtMidi's error messages go to our callback; only a constructor can still throw.
template <typename Client>
std::unique_ptr<Client> makeClient(RtMidi::Api api, const std::string& name, RtMidiErrors& errors) {
    try {
        auto client = std::make_unique<Client>(api, name);
        client->setErrorCallback(&RtMidiErrors::record, &errors);
        return client;
    } catch (const RtMidiError&) {
        return nullptr;
    }
}

RtMidiErrors probeErrors;

}  // namespace

RtMidiBackend::RtMidiBackend(RtMidi::Api api) : api_(api) {
    watcher_ = std::thread([this] { watch(); });
}

RtMidiBackend::~RtMidiBackend() {
    {
        std::lock_guard lock(watchMutex_);
        stopping_ = true;
    }
    watchWake_.notify_one();
    watcher_.join();
}

void RtMidiBackend::watch() {
    std::unique_lock lock(watchMutex_);
    while (!stopping_) {
        watchWake_.wait_for(lock, kWatchPeriod, [this] { return stopping_; });
        if (stopping_)
            return;
        lock.unlock();
        bool changed = false;
        {
            std::lock_guard ports(mutex_);
            const bool outputsOpen = std::any_of(clients_.begin(), clients_.end(), [](auto& weak) {
                auto live = weak.lock();
                return live && live->output;
            });
            if (outputsOpen || PortsWatched()) {
                const std::vector<Port> outputs = list(outputProbe_);
                markPresence(outputs);
                if (PortsWatched())
                    changed = seenChanged(outputs, list(inputProbe_));
            }
        }
        if (changed)
            portsChanged();
        lock.lock();
    }
}

bool RtMidiBackend::seenChanged(const std::vector<Port>& outputs, const std::vector<Port>& inputs) {
    std::vector<std::string> names;
    for (const auto* ports : {&outputs, &inputs}) {
        for (const Port& port : *ports)
            names.push_back(port.name);
        names.emplace_back();  // between the two lists
    }
    if (names == lastSeen_)
        return false;
    lastSeen_ = std::move(names);
    return true;
}

void RtMidiBackend::markPresence(const std::vector<Port>& outputs) {
    for (auto& weak : clients_) {
        auto live = weak.lock();
        if (!live || !live->output)
            continue;
        const bool listed = std::any_of(outputs.begin(), outputs.end(),
                                        [&](const Port& port) { return port.name == live->name; });
        live->present.store(listed, std::memory_order_relaxed);
    }
}

template <typename Probe>
std::vector<RtMidiBackend::Port> RtMidiBackend::list(std::unique_ptr<Probe>& probe) {
    std::vector<Port> ports;
    auto add = [&](const std::string& name, unsigned rtIndex) {
        if (!name.empty() && name.rfind(ProgramClientName(), 0) != 0)
            // The raw name, with the host's numbers, tells two devices of one name apart.
            ports.push_back({HostPortName(name) + kPortKeySeparator + name, rtIndex});
    };
    if (unreachable_)
        return ports;
    if (!probe) {
        probe = makeClient<Probe>(api_, ProgramClientName() + " probe", probeErrors);
        if (!probe) {
            // No sequencer to talk to: said once.
            unreachable_ = true;
            std::fprintf(stderr, "rdn417: the host MIDI system cannot be reached\n");
            return ports;
        }
    }
    const unsigned count = probe->getPortCount();
    for (unsigned i = 0; i < count; ++i)
        add(probe->getPortName(i), i);
    probeErrors.take();
    return ports;
}

std::vector<std::string> RtMidiBackend::outputNames() {
    std::lock_guard lock(mutex_);
    const std::vector<Port> ports = list(outputProbe_);
    markPresence(ports);
    std::vector<std::string> names;
    for (const Port& port : ports)
        names.push_back(port.name);
    return names;
}

std::vector<std::string> RtMidiBackend::inputNames() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const Port& port : list(inputProbe_))
        names.push_back(port.name);
    return names;
}

MMRESULT RtMidiBackend::openPort(unsigned index, bool output,
                                 const std::function<MMRESULT(LiveClient&, unsigned)>& open,
                                 std::shared_ptr<LiveClient>& live) {
    std::lock_guard lock(mutex_);
    const std::vector<Port> ports = output ? list(outputProbe_) : list(inputProbe_);
    if (index >= ports.size())
        return MMSYSERR_BADDEVICEID;
    auto opened = std::make_shared<LiveClient>();
    opened->name = ports[index].name;
    opened->output = output;
    if (MMRESULT result = open(*opened, ports[index].rtIndex))
        return result;
    std::erase_if(clients_, [](const auto& weak) { return weak.expired(); });
    clients_.push_back(opened);
    live = std::move(opened);
    return MMSYSERR_NOERROR;
}

}  // namespace platform::midi
