#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace turnpost {

/// What a server announces in its EHLO reply that the client cares about.
struct SmtpExtensions
{
    bool StartTls = false;
    /// RFC 2920: commands may be sent in groups without waiting for each reply.
    bool Pipelining = false;
    /// RFC 6531: addresses and headers in UTF-8.
    bool SmtpUtf8 = false;
    /// RFC 1870: MAIL FROM may declare the message's size; SizeLimit is the largest message taken,
    /// 0 when the server names none (or a number that cannot be read).
    bool Size = false;
    std::uint64_t SizeLimit = 0;
    /// The SASL mechanisms after AUTH, upper-case, in the server's order.
    std::vector<std::string> AuthMechanisms;

    bool OffersAuth(std::string_view mechanism) const;

    /// Reads a whole EHLO reply (its lines joined by CR LF). The first line names the server; each
    /// further line is a keyword with parameters (RFC 5321 4.1.1.1), matched without regard to case.
    static SmtpExtensions Parse(std::string_view reply);
};

/// The initial response of AUTH PLAIN (RFC 4616): no authorization identity, then the user and
/// the password, each after a NUL.
std::string PlainInitialResponse(const std::string& user, const std::string& password);

/// The initial response of AUTH XOAUTH2, as Google and Microsoft define it: base64 of
/// "user=USER^Aauth=Bearer TOKEN^A^A".
std::string XOAuth2InitialResponse(const std::string& user, const std::string& token);

/// The initial response of AUTH OAUTHBEARER (RFC 7628 3.1): base64 of "n,a=USER,^Aauth=Bearer TOKEN^A^A",
/// the user escaped as a GS2 name (RFC 5801: "," as "=2C", "=" as "=3D").
std::string OAuthBearerInitialResponse(const std::string& user, const std::string& token);

} // namespace turnpost
