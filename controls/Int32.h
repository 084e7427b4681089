// SPDX-License-Identifier: GPL-3.0-or-later
// 32-bit signed arithmetic as the controls define it: products formed before divisions,
// divisions truncating toward zero, and overflow wrapping instead of being undefined; and the
// rounding MulDiv of the waveform display's gradient.
#pragma once

#include <cstdint>

namespace int32 {

inline std::int32_t wrap(std::int64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}
inline std::int32_t add(std::int32_t a, std::int32_t b) {
    return wrap(std::int64_t{a} + b);
}
inline std::int32_t sub(std::int32_t a, std::int32_t b) {
    return wrap(std::int64_t{a} - b);
}
inline std::int32_t mul(std::int32_t a, std::int32_t b) {
    return wrap(std::int64_t{a} * b);
}
// The caller rules out b == 0.
inline std::int32_t div(std::int32_t a, std::int32_t b) {
    return wrap(std::int64_t{a} / b);
}

}  // namespace int32

namespace int32 {

// a × b ÷ c without overflow, rounded to the nearest integer with halves away from zero;
// -1 when c is 0 or the result does not fit, as the Win32 function of that name.
inline std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
    if (c == 0)
        return -1;
    const std::int64_t product = std::int64_t{a} * b;
    const std::int64_t magnitude = product < 0 ? -product : product;
    const std::int64_t divisor = c < 0 ? -std::int64_t{c} : std::int64_t{c};
    const std::int64_t rounded = (2 * magnitude + divisor) / (2 * divisor);
    const std::int64_t result = (product < 0) != (c < 0) ? -rounded : rounded;
    if (result > INT32_MAX || result < INT32_MIN)
        return -1;
    return static_cast<std::int32_t>(result);
}

}  // namespace int32
