// SPDX-License-Identifier: GPL-3.0-or-later
#include "Ports.h"

#include "platform/midi_system.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

PortList ListPorts(bool output) {
    std::vector<platform::MidiPortName> listed;
    if (!platform::ListMidiPorts(output, listed))
        throw std::runtime_error("A MIDI port could not be queried");
    PortList ports;
    for (auto& port : listed)
        ports.push_back({std::move(port.listed), std::move(port.full)});
    return ports;
}

std::optional<std::size_t> FindRememberedPort(const PortList& ports,
                                              const PortIdentity& remembered) {
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (!remembered.full.empty()) {
            if (ports[i].full == remembered.full && (!found || ports[i].name == remembered.name))
                found = i;
        } else if (!remembered.name.empty() && ports[i].name == remembered.name) {
            return i;
        }
    }
    return found;
}

TypedPortMatch FindTypedPort(const PortList& ports, const std::string& typed) {
    TypedPortMatch match;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (ports[i].name == typed || ports[i].full == typed) {
            match.found = i;
            return match;
        }
    }
    const std::string wanted = lower(typed);
    for (std::size_t i = 0; i < ports.size() && !wanted.empty(); ++i) {
        if (lower(ports[i].name).find(wanted) != std::string::npos ||
            lower(ports[i].full).find(wanted) != std::string::npos)
            match.candidates.push_back(i);
    }
    if (match.candidates.size() == 1)
        match.found = match.candidates.front();
    if (match.candidates.size() < 2)
        match.candidates.clear();
    return match;
}
