// SPDX-License-Identifier: GPL-3.0-or-later
// A parameter message's bytes as the program's builder states them; the builder's own test
// checks them byte for byte.
#pragma once

#include "converter/ParameterMessage.h"

#include <cstdint>
#include <vector>

inline std::vector<std::uint8_t> Parameter(int channel, int code, int value) {
    const ParameterMessageBytes message = ParameterMessage(channel, code, value);
    return {message.begin(), message.end()};
}
