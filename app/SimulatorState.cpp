// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimulatorState.h"

#ifdef _WIN32

std::string DescribeSimulatedConverter(const std::string&, unsigned) {
    return {};
}

#else

#include "converter/ControllerNames.h"
#include "converter/NoteName.h"
#include "platform/virtual_midi.h"

#include <optional>

namespace {

// The text of a value the converter has taken, or "not set".
template <typename Text>
std::string Known(const std::optional<int>& value, Text text) {
    return value ? text(*value) : "not set";
}

}  // namespace

std::string DescribeSimulatedConverter(const std::string& port, unsigned index) {
    if (!virtual_midi::Active() || port.rfind(virtual_midi::kConverterName, 0) != 0)
        return {};
    const virtual_midi::ConverterState state = virtual_midi::Converter(index);
    const auto number = [](int value) { return std::to_string(value); };
    const auto noteText = [](int note) {
        return NoteName(note, 0, true) + " (" + std::to_string(note) + ")";
    };
    return port + " holds: channel " +
           Known(state.channel, [](int channel) { return std::to_string(channel + 1); }) +
           ", NoteRef " + Known(state.noteRef, noteText) + ", pitch " +
           Known(state.modeFlags,
                 [&](int) { return state.pitchTable() ? "48 Notes Table" : "1V/Oct"; }) +
           ", aux " +
           Known(state.modeFlags,
                 [&](int) { return state.auxFromController() ? "Controler" : "Velocity"; }) +
           ", aux controller " +
           Known(state.auxController,
                 [](int controller) { return ControllerItemText(controller + 1); }) +
           ", test value " + Known(state.testValue, number) + ", note " +
           Known(state.note, noteText) + ", gate " + (state.gate ? "on" : "off") +
           // Notes beyond the one the gate shows: held on other channels, or under it.
           (state.notesHeld > (state.gate ? 1 : 0) ? ", notes held: " + number(state.notesHeld)
                                                   : "") +
           ". " + number(state.parameterMessages) + " parameter messages, " +
           number(state.controlChanges) + " Control Changes, " + number(state.noteMessages) +
           " note messages, " + number(state.ignoredMessages) + " not understood.";
}

#endif
