#include "rtmidi_backend.h"

#include <cctype>
#include <cstdio>

namespace platform::midi {
namespace {

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

std::string WithoutHostNumbers(const std::string& name) {
    // ALSA appends " client:port", for instance " 20:0".
    std::size_t end = name.size();
    auto digitsBefore = [&](std::size_t pos) {
        std::size_t start = pos;
        while (start > 0 && std::isdigit(static_cast<unsigned char>(name[start - 1])))
            --start;
        return start;
    };
    const std::size_t portStart = digitsBefore(end);
    if (portStart == end || portStart == 0 || name[portStart - 1] != ':')
        return name;
    const std::size_t clientStart = digitsBefore(portStart - 1);
    if (clientStart == portStart - 1 || clientStart == 0 || name[clientStart - 1] != ' ')
        return name;
    return name.substr(0, clientStart - 1);
}

RtMidiBackend::RtMidiBackend(RtMidi::Api api) : api_(api) {}

RtMidiBackend::~RtMidiBackend() = default;

template <typename Probe>
std::vector<RtMidiBackend::Port> RtMidiBackend::list(std::unique_ptr<Probe>& probe) {
    std::vector<Port> ports;
    if (unreachable_)
        return ports;
    if (!probe) {
        probe = makeClient<Probe>(api_, std::string(kClientName) + " probe", probeErrors);
        if (!probe) {
            // No sequencer to talk to: said once; JACK instead is asked again every time,
            // since its server may start later.
            if (api_ != RtMidi::UNIX_JACK) {
                unreachable_ = true;
                std::fprintf(stderr, "rdn417: the host MIDI system cannot be reached\n");
            }
            return ports;
        }
    }
    const unsigned count = probe->getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        const std::string name = probe->getPortName(i);
        if (name.empty() || name.rfind(kClientName, 0) == 0)
            continue;
        ports.push_back({WithoutHostNumbers(name), i});
    }
    probeErrors.take();
    return ports;
}

std::vector<std::string> RtMidiBackend::outputNames() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const Port& port : list(outputProbe_))
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

bool RtMidiBackend::outputListed(const std::string& name) {
    std::lock_guard lock(mutex_);
    for (const Port& port : list(outputProbe_)) {
        if (port.name == name)
            return true;
    }
    return false;
}

}  // namespace platform::midi
