// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConverterSetup.h"

#include "ControllerNames.h"
#include "NoteName.h"
#include "ParameterMessage.h"

#include <cctype>
#include <charconv>

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string()
                                      : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

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
                                trimmed(ControllerItemText(*auxController + 1)) + ")"
                          : std::string("none");
    return text + "\n";
}

std::optional<int> ParseNote(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    if (auto [rest, error] = std::from_chars(text.data(), end, value);
        error == std::errc() && rest == end)
        return value >= 0 && value <= 127 ? std::optional(value) : std::nullopt;
    if (text.empty())
        return std::nullopt;
    // Semitones above C of the natural notes, A to G.
    constexpr int kNaturals[] = {9, 11, 0, 2, 4, 5, 7};
    const auto letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (letter < 'A' || letter > 'G')
        return std::nullopt;
    std::size_t at = 1;
    int accidental = 0;
    // A sharp or a flat; "b" after the letter is a flat, as musicians write it.
    if (at < text.size() && (text[at] == '#' || text[at] == 'b')) {
        accidental = text[at] == '#' ? 1 : -1;
        ++at;
        // Only the black keys: no E#, B#, Cb or Fb.
        const int pitch = kNaturals[letter - 'A'];
        if ((accidental > 0 && (pitch == 4 || pitch == 11)) ||
            (accidental < 0 && (pitch == 0 || pitch == 5)))
            return std::nullopt;
    }
    if (at < text.size() && text[at] == ' ')
        ++at;
    int octave = 0;
    auto [rest, error] = std::from_chars(text.data() + at, end, octave);
    if (at >= text.size() || error != std::errc() || rest != end || octave < -2 || octave > 8)
        return std::nullopt;
    const int note = (octave + 2) * 12 + kNaturals[letter - 'A'] + accidental;
    return note >= 0 && note <= 127 ? std::optional(note) : std::nullopt;
}
