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

// How often the watcher looks for open outputs whose port has gone, where the host does not say.
constexpr auto kWatchPeriod = std::chrono::milliseconds(200);
// A JACK server takes up a new connection within a cycle or two; a busy one gets ten times more.
constexpr auto kJackConnectLimit = std::chrono::milliseconds(1000);

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

RtMidiBackend::RtMidiBackend(RtMidi::Api api)
    : api_(api), jack_([this] {
          {
              std::lock_guard lock(watchMutex_);
              woken_ = true;
          }
          watchWake_.notify_one();
      }) {
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
        watchWake_.wait_for(lock, kWatchPeriod, [this] { return stopping_ || woken_; });
        if (stopping_)
            return;
        woken_ = false;
        lock.unlock();
        bool changed = false;
        {
            std::lock_guard ports(mutex_);
            followServer();
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

void RtMidiBackend::followServer() {
    if (api_ != RtMidi::UNIX_JACK)
        return;
    if (jack_.serverWentAway()) {
        std::fprintf(stderr, "rdn417: the JACK server has gone away\n");
        giveUpAllClients();
    }
    jack_.connect();
}

void RtMidiBackend::giveUpAllClients() {
    static_cast<void>(outputProbe_.release());
    static_cast<void>(inputProbe_.release());
    for (auto& weak : clients_) {
        if (auto live = weak.lock()) {
            std::lock_guard lock(live->mutex);
            live->present.store(false, std::memory_order_relaxed);
            live->giveUp();
        }
    }
    clients_.clear();
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
        if (!name.empty() && name.rfind(ClientName(), 0) != 0)
            ports.push_back({HostPortName(name), rtIndex});
    };
    if (api_ == RtMidi::UNIX_JACK && JackWatch::Available()) {
        // An output of ours goes to a port that takes input, and the other way round.
        const auto names = jack_.ports(std::is_same_v<Probe, RtMidiOut>);
        for (unsigned i = 0; i < names.size(); ++i)
            add(names[i], i);
        return ports;
    }
    if (unreachable_)
        return ports;
    if (!probe) {
        probe = makeClient<Probe>(api_, ClientName() + " probe", probeErrors);
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
    followServer();
    const std::vector<Port> ports = list(outputProbe_);
    markPresence(ports);
    std::vector<std::string> names;
    for (const Port& port : ports)
        names.push_back(port.name);
    return names;
}

std::vector<std::string> RtMidiBackend::inputNames() {
    std::lock_guard lock(mutex_);
    followServer();
    std::vector<std::string> names;
    for (const Port& port : list(inputProbe_))
        names.push_back(port.name);
    return names;
}

MMRESULT RtMidiBackend::openPort(unsigned index, bool output,
                                 const std::function<MMRESULT(LiveClient&, unsigned)>& open,
                                 std::shared_ptr<LiveClient>& live) {
    std::lock_guard lock(mutex_);
    followServer();
    const std::vector<Port> ports = output ? list(outputProbe_) : list(inputProbe_);
    if (index >= ports.size())
        return MMSYSERR_BADDEVICEID;
    auto opened = std::make_shared<LiveClient>();
    opened->name = ports[index].name;
    opened->output = output;
    // An output on JACK may send once JACK has taken up its connection.
    std::string jackPort;
    std::size_t connectedBefore = 0;
    if (output && api_ == RtMidi::UNIX_JACK && jack_.connected()) {
        const std::vector<std::string> raw = jack_.ports(true);
        if (ports[index].rtIndex < raw.size()) {
            jackPort = raw[ports[index].rtIndex];
            connectedBefore = jack_.connectionsFrom(jackPort, ClientName());
        }
    }
    if (MMRESULT result = open(*opened, ports[index].rtIndex))
        return result;
    if (!jackPort.empty())
        jack_.awaitConnectionFrom(jackPort, ClientName(), connectedBefore, kJackConnectLimit);
    std::erase_if(clients_, [](const auto& weak) { return weak.expired(); });
    clients_.push_back(opened);
    live = std::move(opened);
    return MMSYSERR_NOERROR;
}

const std::string& RtMidiBackend::ClientName() {
    static const std::string name = [] {
        const char* chosen = std::getenv("RDN417_CLIENT_NAME");
        return std::string(chosen != nullptr && *chosen != '\0' ? chosen : "RDN417 Config");
    }();
    return name;
}

}  // namespace platform::midi
