// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

namespace platform::midi {
namespace {

constexpr std::size_t kMaxNameBytes = MAXPNAMELEN - 1;

// Length of the valid UTF-8 sequence at `i`, or 0 when the bytes there are not one.
std::size_t sequenceLength(const std::string& text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length;
    if (lead < 0x80)
        return lead >= 0x20 && lead != 0x7F ? 1 : 0;  // control characters are not shown
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    else
        return 0;
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

// Valid UTF-8 of at most `limit` bytes: bad bytes become '?', and the cut falls between
// characters.
std::string clean(const std::string& text, std::size_t limit) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = sequenceLength(text, i);
        const std::size_t take = length == 0 ? 1 : length;
        if (out.size() + take > limit)
            break;
        if (length == 0)
            out += '?';
        else
            out.append(text, i, length);
        i += take;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// Every port either list has shown in this run: its key, its full name and the name it was
// given. A name stays with its port, also while the port is gone, so that another device never
// takes it over; a port that comes back under a new key with the same full name gets it back.
class PortNameBook {
  public:
    std::vector<std::string> fit(const std::vector<std::string>& listed, const Backend& backend) {
        std::lock_guard lock(mutex_);
        struct Port {
            std::string full;
            std::string key;
        };
        std::vector<Port> ports;
        for (const std::string& name : listed) {
            const auto separator = name.find(kPortKeySeparator);
            Port port{name.substr(0, separator), name};
            if (separator == std::string::npos) {
                // Without a key of its own, a port is told apart by its place among its
                // namesakes.
                const auto namesakes = std::count_if(ports.begin(), ports.end(),
                                                     [&](const Port& p) { return p.full == name; });
                port.key = name + kPortKeySeparator + std::to_string(namesakes);
            }
            ports.push_back(std::move(port));
        }
        for (Entry& entry : entries_)
            entry.present = false;
        std::vector<Entry*> given(ports.size(), nullptr);
        // The same port, then a port back under a new key, then a new one.
        for (std::size_t i = 0; i < ports.size(); ++i)
            given[i] = take([&](const Entry& e) { return e.key == ports[i].key; });
        for (std::size_t i = 0; i < ports.size(); ++i) {
            if (given[i] == nullptr)
                given[i] = take([&](const Entry& e) { return e.full == ports[i].full; });
            if (given[i] != nullptr)
                given[i]->key = ports[i].key;
        }
        std::vector<std::string> fitted;
        for (std::size_t i = 0; i < ports.size(); ++i) {
            if (given[i] == nullptr) {
                entries_.push_back({ports[i].key, ports[i].full,
                                    unusedName(backend.shownName(ports[i].full)), true});
                given[i] = &entries_.back();
                // The pointers taken before stay valid: a deque keeps its elements in place.
            }
            fitted.push_back(given[i]->fitted);
        }
        return fitted;
    }

    void clear() {
        std::lock_guard lock(mutex_);
        entries_.clear();
    }

  private:
    struct Entry {
        std::string key;
        std::string full;
        std::string fitted;
        bool present = false;
    };

    template <typename Same>
    Entry* take(Same same) {
        for (Entry& entry : entries_) {
            if (!entry.present && same(entry)) {
                entry.present = true;
                return &entry;
            }
        }
        return nullptr;
    }

    // The name fitted to 31 bytes, with " 2", " 3", ... when a port of this run has it.
    std::string unusedName(const std::string& shown) const {
        const auto used = [&](const std::string& name) {
            return std::any_of(entries_.begin(), entries_.end(),
                               [&](const Entry& e) { return e.fitted == name; });
        };
        std::string candidate = clean(shown, kMaxNameBytes);
        for (int copy = 2; used(candidate); ++copy) {
            const std::string suffix = " " + std::to_string(copy);
            candidate = clean(shown, kMaxNameBytes - suffix.size()) + suffix;
        }
        return candidate;
    }

    std::mutex mutex_;
    std::deque<Entry> entries_;
};

PortNameBook& book(bool outputs) {
    static PortNameBook outputBook;
    static PortNameBook inputBook;
    return outputs ? outputBook : inputBook;
}

}  // namespace

std::vector<std::string> FitPortNames(bool outputs, const std::vector<std::string>& names,
                                      const Backend& backend) {
    return book(outputs).fit(names, backend);
}

void ForgetPortNames() {
    book(true).clear();
    book(false).clear();
}

std::string FullPortName(const std::string& listed) {
    return listed.substr(0, listed.find(kPortKeySeparator));
}

void CopyPortName(const std::string& name, CHAR (&field)[MAXPNAMELEN]) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, name.data(), std::min(name.size(), sizeof field - 1));
}

}  // namespace platform::midi
