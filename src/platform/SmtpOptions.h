#pragma once

#include <cstdint>
#include <string>

namespace turnpost {

// The mail settings as numbers: a setup file stores them, the SMTP connection acts on them, and the
// check, the approval prompt and the dialogs name them. Both the setup and the mail layer see this.

/// How a connection is secured; the values are those a setup file stores.
enum class SmtpSecurity : int
{
    None = 0,
    StartTls = 1,
    ImplicitTls = 2
};

/// What the login sends: the password (AUTH PLAIN or LOGIN), or an OAuth2 access token (AUTH XOAUTH2,
/// or OAUTHBEARER where the server offers only that). The values are those a setup file stores.
enum class SmtpLoginMethod : int
{
    Password = 0,
    OAuth2 = 1
};

/// How long a connection waits for each reply of the server, in milliseconds, unless the setup says.
constexpr std::int32_t DefaultSmtpTimeout = 15000;

/// "no encryption", "STARTTLS" or "SSL/TLS"; "security 7" for a value this program does not know.
inline std::string SecurityName(std::int32_t security)
{
    switch (static_cast<SmtpSecurity>(security)) {
    case SmtpSecurity::None:
        return "no encryption";
    case SmtpSecurity::StartTls:
        return "STARTTLS";
    case SmtpSecurity::ImplicitTls:
        return "SSL/TLS";
    }
    return "security " + std::to_string(security);
}

} // namespace turnpost
