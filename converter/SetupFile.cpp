// SPDX-License-Identifier: GPL-3.0-or-later
#include "SetupFile.h"

#include "HexText.h"
#include "MidiFile.h"
#include "ParameterMessage.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

namespace {

constexpr std::uint8_t kManufacturer = 0x70;

std::string hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// One parameter message of the converter, or the reason it is not a sound one; nothing when
// the message is for another device.
struct Parameter {
    int channel;
    int code;
    int value;
};

std::string Counted(std::size_t count, const std::string& thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

std::optional<Parameter> parameterOf(std::span<const std::uint8_t> message, int number,
                                     std::string& error) {
    if (message.size() < 2 || message[1] != kManufacturer)
        return std::nullopt;
    const std::string which = "Message " + std::to_string(number);
    if (message.size() != 7) {
        error = which + " is for the RDN417 but is " + std::to_string(message.size()) +
                " bytes long instead of 7";
        return std::nullopt;
    }
    const Parameter parameter{message[2], message[3], message[4] | (message[5] << 4)};
    if (message[2] > 15 || message[4] > 15 || message[5] > 15) {
        error = which + " is for the RDN417 but holds a channel or value out of range";
        return std::nullopt;
    }
    if (parameter.code != pcModeFlags && parameter.code != pcAuxController &&
        parameter.code != pcNoteRef) {
        error = which + ": unknown parameter code " + hex(static_cast<unsigned>(parameter.code));
        return std::nullopt;
    }
    const bool known = (parameter.code == pcModeFlags &&
                        (parameter.value & ~(kModeFlagTable | kModeFlagController)) == 0) ||
                       (parameter.code != pcModeFlags && parameter.value <= 127);
    if (!known) {
        error = which + " sets parameter " + std::to_string(parameter.code) + " to " +
                std::to_string(parameter.value) + ", which is out of range";
        return std::nullopt;
    }
    return parameter;
}

void apply(ConverterSetup& setup, const Parameter& parameter) {
    setup.channel = parameter.channel;
    if (parameter.code == pcModeFlags) {
        setup.pitchTable = (parameter.value & kModeFlagTable) != 0;
        setup.auxFromController = (parameter.value & kModeFlagController) != 0;
    } else if (parameter.code == pcAuxController) {
        setup.auxController = parameter.value;
    } else {
        setup.noteRef = parameter.value;
    }
}

}  // namespace

std::string NamedFileError(const std::string& name, const std::string& error) {
    return name + ": " + error + ".";
}

std::string SkippedMessagesNote(const std::string& name, int skipped) {
    if (skipped <= 0)
        return {};
    return name + ": " + std::to_string(skipped) + (skipped == 1 ? " message" : " messages") +
           " for other devices skipped.";
}

bool IsMidiFileName(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == "mid" || extension == "midi";
}

std::vector<std::uint8_t> SetupFileBytes(const ConverterSetup& setup, bool midi) {
    if (midi)
        return MidiFileOf(setup.messages());
    std::vector<std::uint8_t> bytes;
    for (const auto& message : setup.messages())
        bytes.insert(bytes.end(), message.begin(), message.end());
    return bytes;
}

namespace {

bool IsBlankByte(std::uint8_t byte) {
    return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n';
}

// The setup that a stream of System Exclusive messages makes of `contents.setup`; the reason
// when it makes none. `none` says what the file is when it holds no message of the converter.
std::string ReadMessages(std::span<const std::uint8_t> stream, SetupFileContents& contents,
                         const std::string& none) {
    // Real-time bytes (clock, active sensing) may stand anywhere in a capture: they are not
    // part of any message. Blanks and line ends may follow the last message.
    std::vector<std::uint8_t> bytes;
    for (const std::uint8_t byte : stream) {
        if (byte < 0xF8)
            bytes.push_back(byte);
    }
    const auto last = std::find(bytes.rbegin(), bytes.rend(), std::uint8_t{0xF7});
    if (last != bytes.rend() && std::all_of(bytes.rbegin(), last, IsBlankByte))
        bytes.erase(last.base(), bytes.end());
    if (bytes.empty() || bytes[0] != 0xF0)
        return "This is not a System Exclusive (.syx) file: it starts with " +
               (bytes.empty() ? std::string("real-time bytes only") : hex(bytes[0])) +
               " instead of 0xF0";
    std::optional<int> channel;
    int parameters = 0;
    int number = 0;
    for (std::size_t start = 0; start < bytes.size();) {
        if (bytes[start] != 0xF0)
            return "After message " + std::to_string(number) + ", the byte " + hex(bytes[start]) +
                   " stands outside any System Exclusive message";
        ++number;
        std::size_t end = start + 1;
        while (end < bytes.size() && bytes[end] < 0x80)
            ++end;
        if (end == bytes.size())
            return "The file is truncated: its last message has no end (0xF7)";
        if (bytes[end] != 0xF7)
            return "Message " + std::to_string(number) + " holds the byte " + hex(bytes[end]) +
                   ", which no System Exclusive message may hold";
        std::string error;
        const auto parameter =
            parameterOf(std::span(bytes).subspan(start, end + 1 - start), number, error);
        if (!error.empty())
            return error;
        if (!parameter) {
            ++contents.skipped;
        } else {
            if (channel && *channel != parameter->channel)
                return "The file holds messages on more than one MIDI channel (" +
                       std::to_string(*channel + 1) + " and " +
                       std::to_string(parameter->channel + 1) + ")";
            channel = parameter->channel;
            apply(contents.setup, *parameter);
            ++parameters;
        }
        start = end + 1;
    }
    if (parameters == 0)
        return none + " (" + Counted(static_cast<std::size_t>(contents.skipped), "message") +
               " for other devices)";
    return {};
}

}  // namespace

SetupFileContents ParseSetupFile(std::span<const std::uint8_t> bytes, const ConverterSetup& base) {
    SetupFileContents contents{{}, base, 0};
    const auto fail = [&](std::string reason) {
        contents.error = std::move(reason);
        contents.setup = base;
        contents.skipped = 0;
        return contents;
    };
    if (bytes.empty())
        return fail("The file is empty");
    if (bytes.size() > kMaxSetupFileBytes)
        return fail("The file is larger than 1 MB");
    std::string error;
    if (IsMidiFile(bytes)) {
        const MidiFileSysex midi = SysexOfMidiFile(bytes);
        if (!midi.error.empty())
            return fail("This is a Standard MIDI File, but " + midi.error);
        const std::string none = "This is a Standard MIDI File without the converter's messages";
        error = midi.messages.empty() ? none + " (no System Exclusive message at all)"
                                      : ReadMessages(midi.messages, contents, none);
    } else if (bytes[0] != 0xF0 && IsText(bytes)) {
        const HexTextBytes text = BytesOfHexText(bytes);
        if (!text.error.empty())
            return fail("This is text that is not hex: " + text.error);
        error =
            ReadMessages(text.bytes, contents, "This hex text holds no RDN417 parameter message");
    } else {
        error = ReadMessages(bytes, contents, "The file holds no RDN417 parameter message");
    }
    return error.empty() ? contents : fail(error);
}
