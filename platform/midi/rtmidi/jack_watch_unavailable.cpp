// SPDX-License-Identifier: GPL-3.0-or-later
// The JACK watch of a build without JACK's development files: it never connects.
#include "jack_watch.h"

namespace platform::midi {

bool JackWatch::Available() {
    return false;
}

JackWatch::~JackWatch() = default;

bool JackWatch::connect() {
    return false;
}

bool JackWatch::serverWentAway() {
    return false;
}

std::vector<std::string> JackWatch::ports(bool) const {
    return {};
}

std::chrono::microseconds JackWatch::cycle() const {
    return {};
}

std::size_t JackWatch::connectionsFrom(const std::string&, const std::string&) const {
    return 0;
}

void JackWatch::awaitConnectionFrom(const std::string&, const std::string&, std::size_t,
                                    std::chrono::milliseconds) const {}

void JackWatch::wentAway() {}

void JackWatch::close() {}

}  // namespace platform::midi
