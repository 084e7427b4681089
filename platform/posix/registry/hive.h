// The per-user hive in memory, and its text form: the registry editor's export format, as
// "Windows Registry Editor Version 5.00" (UTF-8), with every value's type kept.
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

// The hive the text describes, or nothing when the text is not a well-formed export of
// HKEY_CURRENT_USER.
std::optional<Hive> ParseHive(const std::string& text);
std::string FormatHive(const Hive& hive);

}  // namespace platform::registry
