// SPDX-License-Identifier: GPL-3.0-or-later
#include "ParameterMessage.h"

ParameterMessageBytes ParameterMessage(int channel, int code, int value) {
    return {0xF0,
            0x70,
            static_cast<std::uint8_t>(channel & 0x0F),
            static_cast<std::uint8_t>(code & 0x7F),
            static_cast<std::uint8_t>(value & 0x0F),
            static_cast<std::uint8_t>((value & 0xF0) >> 4),
            0xF7};
}

ShortMessage ControlChangeMessage(int channel, int controller, int value) {
    return {static_cast<std::uint8_t>(0xB0 + (channel & 0x0F)),
            static_cast<std::uint8_t>(controller & 0x7F), static_cast<std::uint8_t>(value & 0x7F)};
}

ShortMessage NoteOnMessage(int channel, int note, int velocity) {
    return {static_cast<std::uint8_t>(0x90 + (channel & 0x0F)),
            static_cast<std::uint8_t>(note & 0x7F), static_cast<std::uint8_t>(velocity & 0x7F)};
}

ShortMessage NoteOffMessage(int channel, int note) {
    return {static_cast<std::uint8_t>(0x80 + (channel & 0x0F)),
            static_cast<std::uint8_t>(note & 0x7F), 0};
}

ShortMessage AllNotesOffMessage(int channel) {
    return ControlChangeMessage(channel, 123, 0);
}
