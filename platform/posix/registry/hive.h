// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user hive in memory, and its text form: the registry editor's export format, written
// as "Windows Registry Editor Version 5.00" (UTF-8), with every value's type kept.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::registry {

struct Value {
    std::string name;  // empty for the key's default value
    DWORD type = REG_NONE;
    std::vector<std::uint8_t> data;

    bool operator==(const Value&) const = default;
};

struct Key {
    std::string path;  // below HKEY_CURRENT_USER, components joined by backslashes
    std::vector<Value> values;

    bool operator==(const Key&) const = default;
    // Names compare without regard to ASCII case, as in the registry.
    Value* find(const std::string& name);
    const Value* find(const std::string& name) const;
    void set(Value value);
};

struct Hive {
    std::vector<Key> keys;

    bool operator==(const Hive&) const = default;
    Key* find(const std::string& path);
    const Key* find(const std::string& path) const;
    // The key, created empty at the end when missing.
    Key& obtain(const std::string& path);
};

bool SameName(const std::string& a, const std::string& b);

struct ParsedHive {
    Hive hive;
    std::size_t skipped = 0;  // lines that could not be read and were left out
};

// The hive the text describes, read as the registry editor reads an export (UTF-8 or UTF-16LE
// with its byte-order mark; a key or value given twice: the last one wins; "[-key]" and
// "name"=- delete). Keys other than HKEY_CURRENT_USER's and lines that cannot be read are
// skipped and counted. Nothing when the text is not an export at all (no header). Linear in
// the text's length.
std::optional<ParsedHive> ParseHive(const std::string& text);
std::string FormatHive(const Hive& hive);

}  // namespace platform::registry
