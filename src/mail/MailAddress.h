#pragma once

#include <cstddef>
#include <string>

namespace turnpost {

/// An address with an optional display name.
struct CMailAddress
{
    CMailAddress() = default;
    explicit CMailAddress(std::string emailAddress) : EmailAddress(std::move(emailAddress)) {}

    /// A mailbox as the host writes it (RFC 5322 3.4): "Galaxy Host <host@example.org>", "\"Host,
    /// Galaxy\" <host@example.org>", "<host@example.org>" or the bare address. Text of another form is
    /// kept whole as the address, so that the checks before sending refuse it.
    static CMailAddress FromMailbox(const std::string& text);

    /// "name <address>" when there is a name, else the address alone.
    std::string Render() const;

    /// The e-mail address without blanks around it, as it goes into the envelope and the headers.
    std::string TrimmedAddress() const;

    /// The longest address mail allows: a path of 256 bytes with its brackets (RFC 5321 4.5.3.1.3).
    static constexpr std::size_t MaxLength = 254;

    /// False for an address that would break the command it goes into: one holding a control
    /// character, a blank, "<" or ">".
    static bool IsUsable(const std::string& address);
    /// The address as it goes on the wire: a domain that is not ASCII in its IDNA2008 form under the
    /// STD3 host name rules (RFC 5891, see platform/Idna.h), the rest unchanged. False, with the
    /// reason in error, when the domain cannot be converted or holds an A-label ("xn--...") that does
    /// not decode.
    static bool ToWireForm(const std::string& address, std::string& wire, std::string& error);
    /// True when the part before the last "@" is not ASCII: only SMTPUTF8 carries it (RFC 6531).
    static bool NeedsSmtpUtf8(const std::string& address);
    /// The address with control characters shown escaped ("\r", "\n", "\x01"), for messages.
    static std::string Escaped(const std::string& address);

    std::string FriendlyName;
    std::string EmailAddress;
};

} // namespace turnpost
