// SPDX-License-Identifier: GPL-3.0-or-later
// Port names as the host's MIDI system gives them, made readable: what only numbers, repeats
// or decorates a port is dropped, so that the part that tells ports apart survives the
// 31-byte limit.
#pragma once

#include <string>

namespace platform::midi {

// Without ALSA's client:port numbers ("Synth 20:0" becomes "Synth").
std::string WithoutHostNumbers(const std::string& name);

// Without the numbers, a2jmidid's and PipeWire's decoration ("a2j:Client [24] (playback): Port"
// and "Midi-Bridge:Client:(playback_0) Port" become "Client: Port") and a client name that the port
// name repeats ("Client:Client Port" becomes "Client Port").
std::string HostPortName(const std::string& name);

}  // namespace platform::midi
