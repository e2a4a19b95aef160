#pragma once

#include <cstddef>
#include <string>

namespace turnpost {

/// How the connection to the IMAP server is protected.
enum class ImapSecurity
{
    None = 0,        ///< plain text, allowed only to this machine
    StartTls = 1,    ///< STARTTLS required (RFC 2595); port 143 when none is given
    ImplicitTls = 2, ///< TLS from the first byte (RFC 8314); port 993 when none is given
};

/// How the user proves who he is.
enum class ImapLogin
{
    Password = 0,
    OAuth2 = 1, ///< Secret is a bearer token (XOAUTH2 or OAUTHBEARER)
};

/// Everything needed to reach and open one mailbox.
struct ImapSettings
{
    std::string Server; ///< "host" or "host:port"; an IPv6 address in brackets when a port follows
    ImapSecurity Security = ImapSecurity::ImplicitTls;
    std::string User;
    ImapLogin Login = ImapLogin::Password;
    std::string Secret; ///< the password or the bearer token
    int TimeoutSeconds = 60;
    /// A message larger than this is not fetched.
    std::size_t MaxMessageBytes = 32u << 20;
};

} // namespace turnpost
