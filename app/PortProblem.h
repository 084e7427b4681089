// SPDX-License-Identifier: GPL-3.0-or-later
// What the window says when it cannot open a port: the MIDI component's own text first, so
// that it can still be searched for, then why the MIDI system cannot be used where it cannot
// (no JACK server runs, say), then which port it was and what to do next.
#pragma once

#include "platform/midi_system.h"

#include <stdexcept>
#include <string>

enum class PortKind { Input, Output };

std::string PortProblem(const std::string& error, PortKind kind, const std::string& port,
                        const std::string& trouble = {});

// Runs `open`; what it throws comes back with PortProblem's text.
template <typename Open>
void OpenPort(PortKind kind, const std::string& port, Open&& open) {
    try {
        open();
    } catch (const std::exception& error) {
        throw std::runtime_error(
            PortProblem(error.what(), kind, port, platform::MidiSystemTrouble()));
    }
}
