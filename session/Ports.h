// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI ports as the window and the command line both see them, and the two rules that find
// one: the rule for a port remembered in the settings, and the rule for a name a user types.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// A port: its name as listed (at most 31 bytes) and the host's whole name of it, which tells
// apart devices whose listed names agree (empty where it is not known).
struct PortIdentity {
    std::string name;
    std::string full;

    bool empty() const { return name.empty(); }
    bool operator==(const PortIdentity&) const = default;
};

using PortList = std::vector<PortIdentity>;

// The outputs (or inputs) of the MIDI system in use, each with its whole name. Raises when the
// system cannot be asked.
PortList ListPorts(bool output);

// The remembered port in the list: the one of the same whole name (of several, the one of the
// same listed name); where no whole name was remembered, the one of the same listed name. Never
// a port whose name merely begins or ends alike: a device that is absent is not replaced by
// another.
std::optional<std::size_t> FindRememberedPort(const PortList& ports,
                                              const PortIdentity& remembered);

// What a typed name stands for: a port whose listed or whole name it is, or else the one port
// with a name that holds it (any case). `candidates` lists every port that holds it when there
// is more than one, and is empty when none does.
struct TypedPortMatch {
    std::optional<std::size_t> found;
    std::vector<std::size_t> candidates;
};
TypedPortMatch FindTypedPort(const PortList& ports, const std::string& typed);
