// SPDX-License-Identifier: GPL-3.0-or-later
// The search both MIDI components make to select a port by the name the platform reports.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <string>

// Queries the capability records of the port numbers first, first + 1, ..., count - 1 and
// returns the first number whose name equals `name` byte for byte, or count when none does.
// A failed query goes to `check`, which raises and so ends the search.
template <typename Caps, typename Query, typename Check>
std::int64_t SearchPortName(const std::string& name, std::int64_t first, std::int64_t count,
                            Query query, Check check) {
    std::int64_t id = first;
    for (; id < count; ++id) {
        Caps caps{};
        // Through UINT, so that -1 is MIDI_MAPPER on every platform.
        check(query(static_cast<UINT>(id), &caps, sizeof caps));
        if (name == caps.szPname)
            break;
    }
    return id;
}

// The ProductName setters' search: stores `name` in `productName` when a port reports it, and
// raises `notInstalled` when `productName` does not equal `name` afterwards. Returns the
// number the search ended on.
template <typename Error, typename Caps, typename Query, typename Check>
std::int64_t SelectPortByName(const std::string& name, std::string& productName, std::int64_t first,
                              std::int64_t count, Query query, Check check,
                              const std::string& notInstalled) {
    const std::int64_t id = SearchPortName<Caps>(name, first, count, query, check);
    if (id < count)
        productName = name;
    if (productName != name)
        throw Error(notInstalled);
    return id;
}
