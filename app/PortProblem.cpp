// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortProblem.h"

std::string PortProblem(const std::string& error, PortKind kind, const std::string& port,
                        const std::string& trouble) {
    std::string text = error;
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    if (!trouble.empty())
        text += "\n\n" + trouble;
    const std::string quoted = "\"" + port + "\"";
    if (kind == PortKind::Input) {
        text += port.empty() ? "\n\nNo MIDI input port could be opened."
                             : "\n\nThe MIDI input port " + quoted + " could not be opened.";
        return text +
               " The converter is still set through the output. To learn values from a "
               "keyboard, connect it and pick its port as \"In\" on the MIDI page.";
    }
    text += port.empty() ? "\n\nNo MIDI output port could be opened,"
                         : "\n\nThe MIDI output port " + quoted + " could not be opened,";
    return text +
           " so no change reaches the converter. Connect the converter's MIDI interface, or "
           "pick its port as \"Out\" on the MIDI page.";
}
