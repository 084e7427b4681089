#include "hive.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace platform::registry {
namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr const char* kOldHeader = "REGEDIT4";
constexpr const char* kRoot = "HKEY_CURRENT_USER";

char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Joins continuation lines (a trailing backslash after a hex list) and drops line ends.
std::vector<std::string> logicalLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    bool continuing = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (continuing) {
            const auto first = line.find_first_not_of(" \t");
            line = first == std::string::npos ? std::string() : line.substr(first);
        }
        current += line;
        continuing =
            !current.empty() && current.back() == '\\' && current.find("=hex") != std::string::npos;
        if (continuing)
            current.pop_back();
        else
            lines.push_back(std::move(current)), current.clear();
        start = end + 1;
    }
    if (continuing)
        lines.push_back(std::move(current));
    return lines;
}

// A quoted string starting at `pos`; advances past the closing quote.
std::optional<std::string> parseQuoted(const std::string& line, std::size_t& pos) {
    if (pos >= line.size() || line[pos] != '"')
        return std::nullopt;
    std::string out;
    for (++pos; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c == '\\') {
            if (++pos >= line.size() || (line[pos] != '\\' && line[pos] != '"'))
                return std::nullopt;
        }
        out += line[pos];
    }
    return std::nullopt;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<std::vector<std::uint8_t>> parseHexList(const std::string& list) {
    std::vector<std::uint8_t> bytes;
    std::size_t pos = 0;
    while (pos < list.size()) {
        if (pos + 2 > list.size())
            return std::nullopt;
        const int high = hexDigit(list[pos]);
        const int low = hexDigit(list[pos + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        pos += 2;
        if (pos == list.size())
            break;
        if (list[pos] != ',' || ++pos == list.size())
            return std::nullopt;
    }
    return bytes;
}

std::optional<Value> parseData(const std::string& text) {
    Value value;
    if (!text.empty() && text[0] == '"') {
        std::size_t pos = 0;
        auto string = parseQuoted(text, pos);
        if (!string || pos != text.size())
            return std::nullopt;
        value.type = REG_SZ;
        value.data.assign(string->begin(), string->end());
        value.data.push_back(0);
        return value;
    }
    if (text.rfind("dword:", 0) == 0) {
        const std::string digits = text.substr(6);
        if (digits.empty() || digits.size() > 8)
            return std::nullopt;
        DWORD number = 0;
        for (char c : digits) {
            const int digit = hexDigit(c);
            if (digit < 0)
                return std::nullopt;
            number = number * 16 + static_cast<DWORD>(digit);
        }
        value.type = REG_DWORD;
        for (int i = 0; i < 4; ++i)
            value.data.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
        return value;
    }
    std::string list;
    if (text.rfind("hex:", 0) == 0) {
        value.type = REG_BINARY;
        list = text.substr(4);
    } else if (text.rfind("hex(", 0) == 0) {
        const std::size_t close = text.find("):", 4);
        if (close == std::string::npos || close == 4 || close > 12)
            return std::nullopt;
        DWORD type = 0;
        for (std::size_t i = 4; i < close; ++i) {
            const int digit = hexDigit(text[i]);
            if (digit < 0)
                return std::nullopt;
            type = type * 16 + static_cast<DWORD>(digit);
        }
        value.type = type;
        list = text.substr(close + 2);
    } else {
        return std::nullopt;
    }
    auto bytes = parseHexList(list);
    if (!bytes)
        return std::nullopt;
    value.data = std::move(*bytes);
    return value;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// A REG_SZ that reads back exactly as a quoted string: one terminating NUL, no other NUL,
// and no line breaks.
bool plainString(const Value& value) {
    if (value.type != REG_SZ || value.data.empty() || value.data.back() != 0)
        return false;
    return std::none_of(value.data.begin(), value.data.end() - 1,
                        [](std::uint8_t b) { return b == 0 || b == '\n' || b == '\r'; });
}

std::string formatData(const Value& value) {
    if (plainString(value))
        return quoted(std::string(value.data.begin(), value.data.end() - 1));
    char buffer[32];
    if (value.type == REG_DWORD && value.data.size() == 4) {
        const DWORD number = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                             static_cast<DWORD>(value.data[3]) << 24;
        std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
        return buffer;
    }
    std::string out;
    if (value.type == REG_BINARY) {
        out = "hex:";
    } else {
        std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
        out = buffer;
    }
    for (std::size_t i = 0; i < value.data.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, i == 0 ? "%02x" : ",%02x", value.data[i]);
        out += buffer;
    }
    return out;
}

bool validPath(const std::string& path) {
    if (path.empty() || path.front() == '\\' || path.back() == '\\')
        return false;
    return path.find("\\\\") == std::string::npos &&
           std::none_of(path.begin(), path.end(), [](char c) {
               return static_cast<unsigned char>(c) < 0x20 || c == '[' || c == ']';
           });
}

}  // namespace

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

Value* Key::find(const std::string& name) {
    auto found = std::find_if(values.begin(), values.end(),
                              [&](const Value& value) { return SameName(value.name, name); });
    return found == values.end() ? nullptr : &*found;
}

const Value* Key::find(const std::string& name) const {
    return const_cast<Key*>(this)->find(name);
}

void Key::set(Value value) {
    if (Value* existing = find(value.name))
        *existing = std::move(value);
    else
        values.push_back(std::move(value));
}

Key* Hive::find(const std::string& path) {
    auto found = std::find_if(keys.begin(), keys.end(),
                              [&](const Key& key) { return SameName(key.path, path); });
    return found == keys.end() ? nullptr : &*found;
}

const Key* Hive::find(const std::string& path) const {
    return const_cast<Hive*>(this)->find(path);
}

Key& Hive::obtain(const std::string& path) {
    if (Key* existing = find(path))
        return *existing;
    keys.push_back(Key{path, {}});
    return keys.back();
}

std::optional<Hive> ParseHive(const std::string& text) {
    std::string body = text;
    if (body.rfind("\xEF\xBB\xBF", 0) == 0)
        body.erase(0, 3);
    const std::vector<std::string> lines = logicalLines(body);
    if (lines.empty() || (lines[0] != kHeader && lines[0] != kOldHeader))
        return std::nullopt;
    Hive hive;
    Key* current = nullptr;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            if (line.back() != ']')
                return std::nullopt;
            const std::string full = line.substr(1, line.size() - 2);
            const std::string root = kRoot;
            if (full.size() <= root.size() + 1 || !SameName(full.substr(0, root.size()), root) ||
                full[root.size()] != '\\')
                return std::nullopt;
            const std::string path = full.substr(root.size() + 1);
            if (!validPath(path) || hive.find(path) != nullptr)
                return std::nullopt;
            current = &hive.obtain(path);
            continue;
        }
        if (current == nullptr)
            return std::nullopt;
        std::string name;
        std::size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else {
            auto parsed = parseQuoted(line, pos);
            if (!parsed)
                return std::nullopt;
            name = std::move(*parsed);
        }
        if (pos >= line.size() || line[pos] != '=')
            return std::nullopt;
        auto value = parseData(line.substr(pos + 1));
        if (!value || current->find(name) != nullptr)
            return std::nullopt;
        value->name = std::move(name);
        current->values.push_back(std::move(*value));
    }
    return hive;
}

std::string FormatHive(const Hive& hive) {
    std::string out = std::string(kHeader) + "\n";
    for (const Key& key : hive.keys) {
        out += "\n[" + std::string(kRoot) + "\\" + key.path + "]\n";
        for (const Value& value : key.values)
            out += (value.name.empty() ? std::string("@") : quoted(value.name)) + "=" +
                   formatData(value) + "\n";
    }
    return out;
}

}  // namespace platform::registry
