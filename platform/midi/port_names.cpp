// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine.h"

#include <algorithm>
#include <cstring>
#include <set>

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

}  // namespace

std::vector<std::string> FitPortNames(const std::vector<std::string>& names) {
    std::vector<std::string> fitted;
    std::set<std::string> taken;
    for (const std::string& name : names) {
        std::string candidate = clean(name, kMaxNameBytes);
        for (int copy = 2; taken.contains(candidate); ++copy) {
            std::string suffix(1, ' ');
            suffix.append(std::to_string(copy));
            candidate = clean(name, kMaxNameBytes - suffix.size());
            candidate.append(suffix);
        }
        taken.insert(candidate);
        fitted.push_back(candidate);
    }
    return fitted;
}

void CopyPortName(const std::string& name, CHAR (&field)[MAXPNAMELEN]) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, name.data(), std::min(name.size(), sizeof field - 1));
}

}  // namespace platform::midi
