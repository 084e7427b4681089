// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConverterSetup.h"

#include "ControllerNames.h"
#include "NoteName.h"
#include "ParameterMessage.h"

#include <cctype>
#include <charconv>

int ConverterSetup::modeFlags() const {
    return (pitchTable ? kModeFlagTable : 0) | (auxFromController ? kModeFlagController : 0);
}

std::vector<std::vector<std::uint8_t>> ConverterSetup::messages() const {
    std::vector<std::vector<std::uint8_t>> all;
    const auto add = [&](int code, int value) {
        const ParameterMessageBytes message = ParameterMessage(channel, code, value);
        all.emplace_back(message.begin(), message.end());
    };
    add(pcModeFlags, modeFlags());
    if (auxController)
        add(pcAuxController, *auxController);
    add(pcNoteRef, noteRef);
    return all;
}

std::string ConverterSetup::describe() const {
    std::string text = "channel: " + std::to_string(channel + 1) + "\n";
    text += "noteref: " + std::to_string(noteRef) + " (" + NoteName(noteRef, 0, true) + ")\n";
    text += std::string("pitch: ") + (pitchTable ? "table" : "voct") + "\n";
    text += std::string("aux: ") + (auxFromController ? "controller" : "velocity") + "\n";
    text += "controller: ";
    text += auxController ? std::to_string(*auxController) + " (" +
                                ControllerItemText(*auxController + 1) + ")"
                          : std::string("none");
    return text + "\n";
}

std::optional<int> ParseNote(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    if (auto [rest, error] = std::from_chars(text.data(), end, value);
        error == std::errc() && rest == end)
        return value >= 0 && value <= 127 ? std::optional(value) : std::nullopt;
    constexpr const char* kLetters = "CCDDEFFGGAAB";
    if (text.empty())
        return std::nullopt;
    const auto letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    std::size_t at = 1;
    const bool sharp = at < text.size() && text[at] == '#';
    if (sharp)
        ++at;
    if (at < text.size() && text[at] == ' ')
        ++at;
    int pitchClass = -1;
    for (int i = 0; i < 12; ++i) {
        const bool sharpNote = i == 1 || i == 3 || i == 6 || i == 8 || i == 10;
        if (kLetters[i] == letter && sharpNote == sharp)
            pitchClass = i;
    }
    int octave = 0;
    const char* digits = text.data() + at;
    auto [rest, error] = std::from_chars(digits, end, octave);
    if (pitchClass < 0 || at >= text.size() || error != std::errc() || rest != end)
        return std::nullopt;
    const long note = (static_cast<long>(octave) + 2) * 12 + pitchClass;
    return note >= 0 && note <= 127 ? std::optional(static_cast<int>(note)) : std::nullopt;
}
