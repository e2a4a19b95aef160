#include "platform/Socket.h"

#include "platform/Text.h"

// What every system shares: the parts that are text alone.
namespace turnpost {

bool SplitServerAddress(const std::string& server, std::uint16_t defaultPort, std::string& host,
                        std::uint16_t& port)
{
    const std::string text(TrimBlanks(server));
    if (text.empty())
        return false;

    std::string portText;
    if (text[0] == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos)
            return false;
        host = text.substr(1, close - 1);
        const std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':')
                return false;
            portText = rest.substr(1);
            if (portText.empty())
                return false;
        }
    } else {
        const auto colon = text.find(':');
        if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
            host = text.substr(0, colon);
            portText = text.substr(colon + 1);
            if (portText.empty())
                return false;
        } else {
            host = text; // a name, a dotted address, or an IPv6 address without brackets
        }
    }
    if (host.empty())
        return false;
    port = defaultPort;
    if (!portText.empty()) {
        if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos)
            return false;
        const unsigned long value = std::stoul(portText);
        if (value == 0 || value > 65535)
            return false;
        port = static_cast<std::uint16_t>(value);
    }
    return true;
}

bool IsValidDomainName(const std::string& name)
{
    // RFC 1035 host names; HELO wants the fully qualified form (RFC 5321 4.1.1.1), so one dot at least.
    if (name.empty() || name.size() > 253 || name.find('.') == std::string::npos)
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        auto end = name.find('.', start);
        if (end == std::string::npos)
            end = name.size();
        const std::size_t length = end - start;
        if (length == 0 || length > 63)
            return false;
        for (std::size_t i = start; i < end; ++i) {
            const char c = name[i];
            const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
            if (!alnum && !(c == '-' && i != start && i + 1 != end))
                return false;
        }
        start = end + 1;
    }
    return true;
}

} // namespace turnpost
