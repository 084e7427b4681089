// 32-bit signed arithmetic as the controls define it: products formed before divisions,
// divisions truncating toward zero, and overflow wrapping instead of being undefined.
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
