#pragma once

#include <string>

namespace turnpost {

/// An address with an optional display name.
struct CMailAddress
{
    CMailAddress() = default;
    explicit CMailAddress(std::string emailAddress) : EmailAddress(std::move(emailAddress)) {}

    /// "name <address>" when there is a name, else the address alone.
    std::string Render() const;

    /// The e-mail address without blanks around it, as it goes into the envelope and the headers.
    std::string TrimmedAddress() const;

    /// False for an address that would break the command it goes into: one holding a control
    /// character, a blank, "<" or ">".
    static bool IsUsable(const std::string& address);
    /// The address with control characters shown escaped ("\r", "\n", "\x01"), for messages.
    static std::string Escaped(const std::string& address);

    std::string FriendlyName;
    std::string EmailAddress;
};

} // namespace turnpost
