#pragma once

#include "collect/ImapSettings.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace turnpost {

/// Where an IMAP server is, read from the setup's "host:port" text and checked before anything
/// connects.
struct ImapServer
{
    bool Ok = false;
    std::string Error;
    std::string Host; ///< without brackets
    std::uint16_t Port = 0;

    /// "imap://host:port" or "imaps://host:port", brackets around an IPv6 address.
    std::string Url(ImapSecurity security) const;
};

/// Reads "host", "host:port", "[v6]" or "[v6]:port"; the port defaults by security (993 for implicit
/// TLS, 143 otherwise). Refuses what could not be a host name rather than let it into a URL.
ImapServer ParseImapServer(std::string_view text, ImapSecurity security);

/// True for "localhost" and the loopback addresses (127.0.0.0/8, ::1, ::ffff:127.x.y.z) written as
/// literals: the only places a password may go in plain text.
bool IsLoopbackHost(std::string_view host);

/// Refuses settings that would send a secret in plain text beyond this machine or put line breaks in
/// the login; empty when they may be used.
std::string CheckImapSettings(const ImapSettings& settings, const ImapServer& server);

} // namespace turnpost
