// SPDX-License-Identifier: GPL-3.0-or-later
#include "HexText.h"

#include <cctype>

namespace {

bool IsBlank(std::uint32_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',';
}

// A byte-order mark and then an ASCII character: a capture may also begin with FF FE (System
// Reset, Active Sensing), but not followed by one.
bool IsUtf16(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 4)
        return false;
    if (bytes[0] == 0xFF && bytes[1] == 0xFE)
        return bytes[3] == 0 && bytes[2] < 0x80;
    return bytes[0] == 0xFE && bytes[1] == 0xFF && bytes[2] == 0 && bytes[3] < 0x80;
}

bool IsUtf8Mark(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
}

int HexDigit(std::uint32_t c) {
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<int>(c - 'A' + 10);
    return -1;
}

// The words of the text as bytes: `unit(k)` is its k-th character of `count`.
template <typename Unit>
HexTextBytes Parse(Unit unit, std::size_t count) {
    HexTextBytes read;
    read.bytes.reserve(count / 2);
    int line = 1;
    for (std::size_t i = 0; i < count;) {
        if (IsBlank(unit(i))) {
            line += unit(i) == '\n' ? 1 : 0;
            ++i;
            continue;
        }
        // A word: "0x" if it likes, then pairs of hex digits.
        std::size_t end = i;
        while (end < count && !IsBlank(unit(end)))
            ++end;
        std::size_t digits = i;
        if (end - i > 2 && unit(i) == '0' && (unit(i + 1) | 0x20) == 'x')
            digits += 2;
        // Where a word that is not hex stands, said only when one is found.
        const auto where = [&] {
            std::string word;
            for (std::size_t k = i; k < end; ++k)
                word += unit(k) < 0x80 && std::isprint(static_cast<int>(unit(k)))
                            ? static_cast<char>(unit(k))
                            : '?';
            return " (\"" + word + "\" on line " + std::to_string(line) + ")";
        };
        if ((end - digits) % 2 != 0) {
            read.error = "a byte has one hex digit instead of two" + where();
            return read;
        }
        for (std::size_t k = digits; k < end; k += 2) {
            const int high = HexDigit(unit(k));
            const int low = HexDigit(unit(k + 1));
            if (high < 0 || low < 0) {
                read.error = "it holds a character that is not a hex digit" + where();
                return read;
            }
            read.bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        }
        i = end;
    }
    if (read.bytes.empty())
        read.error = "it holds no bytes";
    return read;
}

}  // namespace

bool IsText(std::span<const std::uint8_t> bytes) {
    if (IsUtf16(bytes) || IsUtf8Mark(bytes))
        return true;
    for (const std::uint8_t byte : bytes) {
        if (!(byte >= 0x20 && byte < 0x7F) && !IsBlank(byte))
            return false;
    }
    return !bytes.empty();
}

HexTextBytes BytesOfHexText(std::span<const std::uint8_t> text) {
    if (IsUtf16(text)) {
        if (text.size() % 2 != 0)
            return {{}, "it ends in half a UTF-16 character"};
        const bool little = text[0] == 0xFF;
        const auto units = text.subspan(2);
        return Parse(
            [&](std::size_t k) -> std::uint32_t {
                const std::uint32_t first = units[2 * k];
                const std::uint32_t second = units[2 * k + 1];
                return little ? first | (second << 8) : (first << 8) | second;
            },
            units.size() / 2);
    }
    const auto characters = text.subspan(IsUtf8Mark(text) ? 3 : 0);
    return Parse([&](std::size_t k) -> std::uint32_t { return characters[k]; }, characters.size());
}
