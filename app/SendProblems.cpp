// SPDX-License-Identifier: GPL-3.0-or-later
#include "SendProblems.h"

#include "ExceptionDisplay.h"
#include "platform/midi_system.h"

#include <utility>

SendProblems::SendProblems(std::function<std::string()> port,
                           std::function<void(const std::string&)> say)
    : port_(std::move(port)), say_(std::move(say)) {}

void SendProblems::failed(const std::exception_ptr& failure) {
    if (!failure || (action_.grouped && std::exchange(action_.said, true)))
        return;
    say_(describe(failure));
}

std::string SendProblems::describe(const std::exception_ptr& failure) const {
    const std::string port = port_();
    const std::string where = port.empty() ? "no MIDI output port is chosen"
                                           : "it was for the MIDI output port \"" + port + "\"";
    // Why the MIDI system cannot be used, where it cannot, comes before what to do.
    const std::string trouble = platform::MidiSystemTrouble();
    return ExceptionText(ExceptionMessage(failure)) + (trouble.empty() ? "" : "\n\n" + trouble) +
           "\n\nThe change did not reach the converter: " + where +
           ". Check that the converter's MIDI interface is connected and switched on, or pick "
           "its port as \"Out\" on the MIDI page, then use Send all.";
}
