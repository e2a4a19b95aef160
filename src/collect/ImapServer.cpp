#include "collect/ImapServer.h"

#include <array>
#include <charconv>
#include <optional>

namespace turnpost {

namespace {

bool IsHostNameByte(unsigned char c)
{
    // Letters, digits, '.', '-', '_' and the bytes of a UTF-8 name (which libcurl turns into IDNA).
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || c >= 0x80;
}

std::optional<std::array<int, 4>> ParseIPv4(std::string_view text)
{
    std::array<int, 4> parts{};
    std::size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (at >= text.size() || text[at] != '.')
                return std::nullopt;
            ++at;
        }
        const std::size_t start = at;
        while (at < text.size() && at - start < 3 && text[at] >= '0' && text[at] <= '9')
            ++at;
        if (at == start)
            return std::nullopt;
        std::from_chars(text.data() + start, text.data() + at, parts[i]);
        if (parts[i] > 255)
            return std::nullopt;
    }
    if (at != text.size())
        return std::nullopt;
    return parts;
}

// The sixteen bytes of an IPv6 literal, or nothing when it is not one.
std::optional<std::array<std::uint8_t, 16>> ParseIPv6(std::string_view text)
{
    std::array<std::uint16_t, 8> groups{};
    int count = 0;
    int gap = -1;
    std::size_t at = 0;
    if (text.starts_with("::")) {
        gap = 0;
        at = 2;
    }
    while (at < text.size()) {
        // An IPv4 tail takes the last two groups.
        if (text.find('.', at) != std::string_view::npos && text.find(':', at) == std::string_view::npos) {
            const auto v4 = ParseIPv4(text.substr(at));
            if (!v4 || count > 6)
                return std::nullopt;
            groups[count++] = static_cast<std::uint16_t>((*v4)[0] << 8 | (*v4)[1]);
            groups[count++] = static_cast<std::uint16_t>((*v4)[2] << 8 | (*v4)[3]);
            at = text.size();
            break;
        }
        unsigned value = 0;
        const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), value, 16);
        const auto length = static_cast<std::size_t>(end - (text.data() + at));
        if (error != std::errc() || length == 0 || length > 4 || count == 8)
            return std::nullopt;
        groups[count++] = static_cast<std::uint16_t>(value);
        at += length;
        if (at == text.size())
            break;
        if (text[at] != ':')
            return std::nullopt;
        ++at;
        if (at < text.size() && text[at] == ':') {
            if (gap >= 0)
                return std::nullopt;
            gap = count;
            ++at;
        } else if (at == text.size())
            return std::nullopt;
    }
    if (gap < 0 ? count != 8 : count > 7)
        return std::nullopt;
    std::array<std::uint16_t, 8> full{};
    const int tail = gap < 0 ? 0 : count - gap;
    for (int i = 0; i < count - tail; ++i)
        full[i] = groups[i];
    for (int i = 0; i < tail; ++i)
        full[8 - tail + i] = groups[gap + i];
    std::array<std::uint8_t, 16> bytes{};
    for (int i = 0; i < 8; ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(full[i] >> 8);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(full[i] & 0xff);
    }
    return bytes;
}

bool HasLineBreakOrNul(const std::string& text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos;
}

} // namespace

std::string ImapServer::Url(ImapSecurity security) const
{
    const std::string host = Host.find(':') != std::string::npos ? "[" + Host + "]" : Host;
    return std::string(security == ImapSecurity::ImplicitTls ? "imaps://" : "imap://") + host + ":" +
           std::to_string(Port);
}

ImapServer ParseImapServer(std::string_view text, ImapSecurity security)
{
    ImapServer server;
    std::string_view host = text;
    std::string_view port;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            server.Error = "the server \"" + std::string(text) + "\" lacks the ']' after its IPv6 address";
            return server;
        }
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') {
                server.Error = "the server \"" + std::string(text) + "\" has text after its address";
                return server;
            }
            port = rest.substr(1);
            if (port.empty())
                port = "0";
        }
        if (!ParseIPv6(host)) {
            server.Error = "\"" + std::string(host) + "\" is not an IPv6 address";
            return server;
        }
    } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
        if (text.find(':', colon + 1) != std::string_view::npos) {
            // A bare IPv6 address: it cannot carry a port.
            if (!ParseIPv6(text)) {
                server.Error = "the server \"" + std::string(text) + "\" is neither host:port nor an address";
                return server;
            }
        } else {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
            if (port.empty())
                port = "0";
        }
    }
    if (host.empty()) {
        server.Error = "no IMAP server is given";
        return server;
    }
    if (host.find(':') == std::string_view::npos) {
        for (const char c : host)
            if (!IsHostNameByte(static_cast<unsigned char>(c))) {
                server.Error =
                    "the server name \"" + std::string(host) + "\" holds a character a host name cannot";
                return server;
            }
    }
    server.Port = security == ImapSecurity::ImplicitTls ? 993 : 143;
    if (!port.empty()) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) {
            server.Error = "the port \"" + std::string(port) + "\" is not a number from 1 to 65535";
            return server;
        }
        server.Port = static_cast<std::uint16_t>(value);
    }
    server.Host = std::string(host);
    server.Ok = true;
    return server;
}

bool IsLoopbackHost(std::string_view host)
{
    if (host.size() == 9) {
        std::string lower(host);
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        if (lower == "localhost")
            return true;
    }
    if (const auto v4 = ParseIPv4(host))
        return (*v4)[0] == 127;
    const auto v6 = ParseIPv6(host);
    if (!v6)
        return false;
    const auto& b = *v6;
    bool zeroHead = true;
    for (int i = 0; i < 10; ++i)
        zeroHead = zeroHead && b[i] == 0;
    if (zeroHead && b[10] == 0xff && b[11] == 0xff)
        return b[12] == 127;
    bool loopback = true;
    for (int i = 0; i < 15; ++i)
        loopback = loopback && b[i] == 0;
    return loopback && b[15] == 1;
}

std::string CheckImapSettings(const ImapSettings& settings, const ImapServer& server)
{
    if (!server.Ok)
        return server.Error;
    if (settings.Security == ImapSecurity::None && !IsLoopbackHost(server.Host))
        return "the login to " + server.Host +
               " would go out in plain text: choose STARTTLS or TLS (plain text is only for this machine)";
    if (settings.User.empty())
        return "no IMAP user name is given";
    // libcurl writes the user name and password into the LOGIN command as they are.
    if (HasLineBreakOrNul(settings.User) || HasLineBreakOrNul(settings.Secret))
        return "the IMAP user name or " +
               std::string(settings.Login == ImapLogin::OAuth2 ? "token" : "password") +
               " holds a line break";
    if (settings.TimeoutSeconds <= 0)
        return "the IMAP time-out must be at least one second";
    return {};
}

} // namespace turnpost
