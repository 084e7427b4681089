// SPDX-License-Identifier: GPL-3.0-or-later
#include "hive.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>

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
        // Trailing blanks (and the CR of a CRLF) mean nothing after a value or a key.
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
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
        // Leading zeros beyond eight digits are taken, as the registry editor takes them.
        std::string digits = text.substr(6);
        const auto significant = digits.find_first_not_of('0');
        if (!digits.empty())
            digits = significant == std::string::npos ? "0" : digits.substr(significant);
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

namespace {

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// UTF-16LE, as the registry editor on Windows writes it, as UTF-8; a lone surrogate becomes
// U+FFFD.
std::string fromUtf16(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() / 2);
    auto unit = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8);
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::uint32_t code = unit(i);
        if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;
        }
        appendUtf8(out, code);
    }
    return out;
}

std::string lowered(const std::string& text) {
    std::string out = text;
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

// The hive being read, with the names looked up in constant time.
class Reader {
  public:
    // The key of a section line, created or found again (a key given twice is one key).
    Key* section(const std::string& path) {
        Node* node = &root_;
        forEachComponent(lowered(path), [&](const std::string& component) {
            auto& child = node->children[component];
            if (!child)
                child = std::make_unique<Node>();
            node = child.get();
        });
        if (node->key == kNone) {
            node->key = hive_.keys.size();
            hive_.keys.push_back(Key{path, {}});
            valueIndex_.emplace_back();
            erased_.emplace_back();
        }
        current_ = node->key;
        return &hive_.keys[current_];
    }

    // "[-path]": the key and every key below it are gone; a later section makes them anew. The
    // branch is only cut off here, and its keys are dropped by finish, so that every key costs
    // once however many deletions name it or a key above it.
    void remove(const std::string& path) {
        current_ = kNone;
        const std::string gone = lowered(path);
        const std::size_t last = gone.rfind('\\');
        Node* parent = &root_;
        if (last != std::string::npos) {
            forEachComponent(gone.substr(0, last), [&](const std::string& component) {
                if (parent == nullptr)
                    return;
                const auto found = parent->children.find(component);
                parent = found == parent->children.end() ? nullptr : found->second.get();
            });
        }
        if (parent == nullptr)
            return;
        const auto found =
            parent->children.find(last == std::string::npos ? gone : gone.substr(last + 1));
        if (found == parent->children.end())
            return;
        cutOff_.push_back(std::move(found->second));
        parent->children.erase(found);
    }

    // A value of the current key; the last one given wins. False without a current key.
    bool set(Value value) {
        if (current_ == kNone)
            return false;
        Key& key = hive_.keys[current_];
        if (const auto found = position(value.name))
            key.values[*found] = std::move(value);
        else
            add(std::move(value));
        return true;
    }

    // "name"=-: the value is gone.
    bool erase(const std::string& name) {
        if (current_ == kNone)
            return false;
        if (const auto found = position(name)) {
            auto& gone = erased_[current_];
            gone.resize(hive_.keys[current_].values.size());
            gone[*found] = true;
            if (auto& index = valueIndex_[current_])
                index->erase(lowered(name));
        }
        return true;
    }

    void leaveSection() { current_ = kNone; }

    Hive finish() {
        std::vector<bool> keyGone(hive_.keys.size());
        // Without recursion: a path may be thousands of keys deep.
        std::vector<const Node*> branch;
        for (const auto& cut : cutOff_)
            branch.push_back(cut.get());
        while (!branch.empty()) {
            const Node* node = branch.back();
            branch.pop_back();
            if (node->key != kNone)
                keyGone[node->key] = true;
            for (const auto& child : node->children)
                branch.push_back(child.second.get());
        }
        Hive result;
        for (std::size_t k = 0; k < hive_.keys.size(); ++k) {
            if (keyGone[k])
                continue;
            Key& key = hive_.keys[k];
            if (const auto& gone = erased_[k]; !gone.empty()) {
                std::vector<Value> kept;
                for (std::size_t v = 0; v < key.values.size(); ++v) {
                    if (v >= gone.size() || !gone[v])
                        kept.push_back(std::move(key.values[v]));
                }
                key.values = std::move(kept);
            }
            result.keys.push_back(std::move(key));
        }
        return result;
    }

  private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    // One component of a key path, lowered: the keys form a tree, as in the registry.
    struct Node {
        std::unordered_map<std::string, std::unique_ptr<Node>> children;
        std::size_t key = kNone;  // the key of this path, when a section named it
    };

    template <typename Visit>
    static void forEachComponent(const std::string& path, Visit visit) {
        std::size_t start = 0;
        for (std::size_t end; (end = path.find('\\', start)) != std::string::npos; start = end + 1)
            visit(path.substr(start, end - start));
        visit(path.substr(start));
    }
    // Most keys hold a few values, found by looking through them; a key with more gets an
    // index, so that a key of any size is read in linear time.
    static constexpr std::size_t kIndexedFrom = 16;

    // Where the current key holds the value of this name.
    std::optional<std::size_t> position(const std::string& name) {
        const Key& key = hive_.keys[current_];
        if (const auto& index = valueIndex_[current_]) {
            const auto found = index->find(lowered(name));
            return found == index->end() ? std::nullopt : std::optional(found->second);
        }
        const auto& gone = erased_[current_];
        for (std::size_t i = 0; i < key.values.size(); ++i) {
            if (SameName(key.values[i].name, name) && (i >= gone.size() || !gone[i]))
                return i;
        }
        return std::nullopt;
    }

    void add(Value value) {
        Key& key = hive_.keys[current_];
        auto& index = valueIndex_[current_];
        key.values.push_back(std::move(value));
        if (index) {
            index->emplace(lowered(key.values.back().name), key.values.size() - 1);
        } else if (key.values.size() >= kIndexedFrom) {
            index = std::make_unique<std::unordered_map<std::string, std::size_t>>();
            const auto& gone = erased_[current_];
            for (std::size_t i = 0; i < key.values.size(); ++i) {
                if (i >= gone.size() || !gone[i])
                    index->emplace(lowered(key.values[i].name), i);
            }
        }
    }

    Hive hive_;
    Node root_;
    // Branches that "[-key]" lines cut off, with every key below them.
    std::vector<std::unique_ptr<Node>> cutOff_;
    std::vector<std::unique_ptr<std::unordered_map<std::string, std::size_t>>> valueIndex_;
    // Per key, the values that "name"=- removed.
    std::vector<std::vector<bool>> erased_;
    std::size_t current_ = kNone;
};

// The path below HKEY_CURRENT_USER that a section names, or nothing.
std::optional<std::string> sectionPath(const std::string& full) {
    const std::string root = kRoot;
    if (full.size() <= root.size() + 1 || !SameName(full.substr(0, root.size()), root) ||
        full[root.size()] != '\\')
        return std::nullopt;
    std::string path = full.substr(root.size() + 1);
    if (!validPath(path))
        return std::nullopt;
    return path;
}

// One line of the body; false when it cannot be read.
bool readLine(Reader& reader, const std::string& line) {
    if (line[0] == '[') {
        reader.leaveSection();
        if (line.back() != ']')
            return false;
        const bool removal = line.size() > 2 && line[1] == '-';
        const auto path =
            sectionPath(line.substr(removal ? 2 : 1, line.size() - (removal ? 3 : 2)));
        if (!path)
            return false;
        if (removal)
            reader.remove(*path);
        else
            reader.section(*path);
        return true;
    }
    std::string name;
    std::size_t pos = 0;
    if (line[0] == '@') {
        pos = 1;
    } else {
        auto parsed = parseQuoted(line, pos);
        if (!parsed)
            return false;
        name = std::move(*parsed);
    }
    if (pos >= line.size() || line[pos] != '=')
        return false;
    const std::string data = line.substr(pos + 1);
    if (data == "-")
        return reader.erase(name);
    auto value = parseData(data);
    if (!value)
        return false;
    value->name = std::move(name);
    return reader.set(std::move(*value));
}

}  // namespace

std::optional<ParsedHive> ParseHive(const std::string& text) {
    std::string body = text.rfind("\xFF\xFE", 0) == 0 ? fromUtf16(text.substr(2)) : text;
    if (body.rfind("\xEF\xBB\xBF", 0) == 0)
        body.erase(0, 3);
    const std::vector<std::string> lines = logicalLines(body);
    if (lines.empty() || (lines[0] != kHeader && lines[0] != kOldHeader))
        return std::nullopt;
    Reader reader;
    ParsedHive parsed;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty() || line[0] == ';')
            continue;
        if (!readLine(reader, line))
            ++parsed.skipped;
    }
    parsed.hive = reader.finish();
    return parsed;
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
