// SPDX-License-Identifier: GPL-3.0-or-later
#include "HexText.h"

#include <cctype>

namespace {

bool IsBlank(std::uint32_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',';
}

bool IsUtf16(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 2 &&
           ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF));
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

// The characters of the text, as code units; empty with `error` set when they cannot be had.
std::vector<std::uint32_t> Characters(std::span<const std::uint8_t> bytes, std::string& error) {
    std::vector<std::uint32_t> characters;
    if (IsUtf16(bytes)) {
        const bool little = bytes[0] == 0xFF;
        if (bytes.size() % 2 != 0) {
            error = "it ends in half a UTF-16 character";
            return {};
        }
        for (std::size_t i = 2; i < bytes.size(); i += 2)
            characters.push_back(little ? bytes[i] | (bytes[i + 1] << 8)
                                        : (bytes[i] << 8) | bytes[i + 1]);
        return characters;
    }
    for (std::size_t i = IsUtf8Mark(bytes) ? 3 : 0; i < bytes.size(); ++i)
        characters.push_back(bytes[i]);
    return characters;
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
    HexTextBytes read;
    const std::vector<std::uint32_t> characters = Characters(text, read.error);
    if (!read.error.empty())
        return read;
    int line = 1;
    for (std::size_t i = 0; i < characters.size();) {
        if (IsBlank(characters[i])) {
            line += characters[i] == '\n' ? 1 : 0;
            ++i;
            continue;
        }
        // A word: "0x" if it likes, then pairs of hex digits.
        std::size_t end = i;
        while (end < characters.size() && !IsBlank(characters[end]))
            ++end;
        std::size_t digits = i;
        if (end - i > 2 && characters[i] == '0' && (characters[i + 1] | 0x20) == 'x')
            digits += 2;
        std::string word;
        for (std::size_t k = i; k < end; ++k)
            word += characters[k] < 0x80 && std::isprint(static_cast<int>(characters[k]))
                        ? static_cast<char>(characters[k])
                        : '?';
        const auto where = " (\"" + word + "\" on line " + std::to_string(line) + ")";
        for (std::size_t k = digits; k < end; ++k) {
            if (HexDigit(characters[k]) < 0) {
                read.error = "it holds a character that is not a hex digit" + where;
                return read;
            }
        }
        if ((end - digits) % 2 != 0) {
            read.error = "a byte has one hex digit instead of two" + where;
            return read;
        }
        for (std::size_t k = digits; k < end; k += 2)
            read.bytes.push_back(static_cast<std::uint8_t>(HexDigit(characters[k]) * 16 +
                                                           HexDigit(characters[k + 1])));
        i = end;
    }
    if (read.bytes.empty())
        read.error = "it holds no bytes";
    return read;
}
