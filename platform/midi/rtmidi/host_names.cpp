#include "host_names.h"

#include <cctype>
#include <regex>

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

std::string HostPortName(const std::string& raw) {
    std::string name = WithoutHostNumbers(raw);
    static const std::regex a2j(R"(^a2j:(.*) \[\d+\](?: \((?:playback|capture)\))?: (.*)$)");
    std::smatch parts;
    if (std::regex_match(name, parts, a2j))
        name = parts[1].str() + ": " + parts[2].str();
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
