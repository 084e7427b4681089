// SPDX-License-Identifier: GPL-3.0-or-later
#include "host_names.h"

#include <cctype>
#include <optional>
#include <string_view>

namespace platform::midi {

std::string WithoutHostNumbers(const std::string& name) {
    // ALSA appends " client:port", for instance " 20:0".
    std::size_t end = name.size();
    auto digitsBefore = [&](std::size_t pos) {
        std::size_t start = pos;
        while (start > 0 && std::isdigit(static_cast<unsigned char>(name[start - 1])))
            --start;
        return start;
    };
    const std::size_t portStart = digitsBefore(end);
    if (portStart == end || portStart == 0 || name[portStart - 1] != ':')
        return name;
    const std::size_t clientStart = digitsBefore(portStart - 1);
    if (clientStart == portStart - 1 || clientStart == 0 || name[clientStart - 1] != ' ')
        return name;
    return name.substr(0, clientStart - 1);
}

namespace {

// "Client: Port" for a2jmidid's "a2j:Client [24] (playback): Port", or nothing.
std::optional<std::string> WithoutA2jDecoration(const std::string& name) {
    constexpr std::string_view prefix = "a2j:";
    if (name.rfind(prefix, 0) != 0)
        return std::nullopt;
    const std::string rest = name.substr(prefix.size());
    for (std::size_t open = rest.find(" ["); open != std::string::npos;
         open = rest.find(" [", open + 1)) {
        std::size_t pos = open + 2;
        const std::size_t digits = pos;
        while (pos < rest.size() && std::isdigit(static_cast<unsigned char>(rest[pos])))
            ++pos;
        if (pos == digits || pos >= rest.size() || rest[pos] != ']')
            continue;
        ++pos;
        for (const std::string_view direction : {" (playback)", " (capture)"}) {
            if (rest.compare(pos, direction.size(), direction) == 0) {
                pos += direction.size();
                break;
            }
        }
        if (rest.compare(pos, 2, ": ") == 0)
            return rest.substr(0, open) + ": " + rest.substr(pos + 2);
    }
    return std::nullopt;
}

// "Client: Port" for PipeWire's JACK names of ALSA ports, "Midi-Bridge:Client:(capture_0) Port",
// or nothing.
std::optional<std::string> WithoutBridgeDecoration(const std::string& name) {
    constexpr std::string_view prefix = "Midi-Bridge:";
    if (name.rfind(prefix, 0) != 0)
        return std::nullopt;
    const std::string rest = name.substr(prefix.size());
    for (std::size_t open = rest.find(":("); open != std::string::npos;
         open = rest.find(":(", open + 1)) {
        const std::size_t close = rest.find(") ", open);
        if (close == std::string::npos)
            return std::nullopt;
        const std::string inside = rest.substr(open + 2, close - open - 2);
        if (inside.rfind("capture_", 0) == 0 || inside.rfind("playback_", 0) == 0)
            return rest.substr(0, open) + ": " + rest.substr(close + 2);
    }
    return std::nullopt;
}

}  // namespace

std::string HostPortName(const std::string& raw) {
    std::string name = WithoutHostNumbers(raw);
    if (auto plain = WithoutA2jDecoration(name))
        name = std::move(*plain);
    else if (auto bridged = WithoutBridgeDecoration(name))
        name = std::move(*bridged);
    // The first colon after which the port's part begins with the client's part.
    for (std::size_t colon = name.find(':'); colon != std::string::npos;
         colon = name.find(':', colon + 1)) {
        const std::string client = name.substr(0, colon);
        std::size_t port = colon + 1;
        while (port < name.size() && name[port] == ' ')
            ++port;
        if (!client.empty() && name.compare(port, client.size(), client) == 0)
            return name.substr(port);
    }
    return name;
}

}  // namespace platform::midi
