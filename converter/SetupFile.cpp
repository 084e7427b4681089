// SPDX-License-Identifier: GPL-3.0-or-later
#include "SetupFile.h"

#include "ParameterMessage.h"

#include <algorithm>
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

std::optional<Parameter> parameterOf(std::span<const std::uint8_t> message, std::size_t offset,
                                     std::string& error) {
    if (message.size() < 2 || message[1] != kManufacturer)
        return std::nullopt;
    const std::string where = " (the message at byte " + std::to_string(offset) + ")";
    if (message.size() != 7) {
        error = "A message for the RDN417 is " + std::to_string(message.size()) +
                " bytes long instead of 7" + where;
        return std::nullopt;
    }
    const Parameter parameter{message[2], message[3], message[4] | (message[5] << 4)};
    if (message[2] > 15 || message[4] > 15 || message[5] > 15) {
        error = "A message for the RDN417 holds a channel or value out of range" + where;
        return std::nullopt;
    }
    const bool known = (parameter.code == pcModeFlags &&
                        (parameter.value & ~(kModeFlagTable | kModeFlagController)) == 0) ||
                       (parameter.code == pcAuxController && parameter.value <= 127) ||
                       (parameter.code == pcNoteRef && parameter.value <= 127);
    if (!known) {
        error = "A message for the RDN417 sets parameter " + std::to_string(parameter.code) +
                " to " + std::to_string(parameter.value) + ", which is out of range" + where;
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

std::vector<std::uint8_t> SetupFileBytes(const ConverterSetup& setup) {
    std::vector<std::uint8_t> bytes;
    for (const auto& message : setup.messages())
        bytes.insert(bytes.end(), message.begin(), message.end());
    return bytes;
}

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
    if (bytes[0] != 0xF0)
        return fail("This is not a System Exclusive (.syx) file: it starts with " + hex(bytes[0]) +
                    " instead of 0xF0");
    std::optional<int> channel;
    int parameters = 0;
    std::size_t start = 0;
    while (start < bytes.size()) {
        if (bytes[start] != 0xF0)
            return fail("Byte " + std::to_string(start) + " (" + hex(bytes[start]) +
                        ") is outside any System Exclusive message");
        std::size_t end = start + 1;
        while (end < bytes.size() && bytes[end] < 0x80)
            ++end;
        if (end == bytes.size())
            return fail("The file is truncated: its last message has no end (0xF7)");
        if (bytes[end] != 0xF7)
            return fail("The message at byte " + std::to_string(start) + " holds the byte " +
                        hex(bytes[end]) + " (at byte " + std::to_string(end) +
                        "), which no System Exclusive message may hold");
        const auto message = bytes.subspan(start, end + 1 - start);
        std::string error;
        const auto parameter = parameterOf(message, start, error);
        if (!error.empty())
            return fail(error);
        if (!parameter) {
            ++contents.skipped;
        } else {
            if (channel && *channel != parameter->channel)
                return fail("The file holds messages on more than one MIDI channel (" +
                            std::to_string(*channel + 1) + " and " +
                            std::to_string(parameter->channel + 1) + ")");
            channel = parameter->channel;
            apply(contents.setup, *parameter);
            ++parameters;
        }
        start = end + 1;
    }
    if (parameters == 0)
        return fail("The file holds no RDN417 parameter message (" +
                    std::to_string(contents.skipped) + " for other devices)");
    return contents;
}
