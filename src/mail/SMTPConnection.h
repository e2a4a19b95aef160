#pragma once

#include <cstdint>
#include <string>

namespace turnpost {

class CMailMessage;

/// How the connection is secured: 0 plain, 1 STARTTLS, 2 TLS from the first byte.
enum class SmtpSecurity : int { None = 0, StartTls = 1, ImplicitTls = 2 };

/// Delivers one message over one SMTP connection. Failures return false and leave either the
/// last-error number (GetLastError, after Connect) or the last reply (GetLastReply, after SendMessage).
class CSMTPConnection
{
public:
    CSMTPConnection();
    ~CSMTPConnection();
    CSMTPConnection(const CSMTPConnection&) = delete;
    CSMTPConnection& operator=(const CSMTPConnection&) = delete;

    /// server is "host", "host:port" or "[v6 address]:port"; defaultPort applies when none is given.
    bool Connect(const std::string& server, std::uint16_t defaultPort = 25);
    bool SendMessage(const CMailMessage& message);
    /// True when QUIT was answered with 221.
    bool Disconnect();
    bool AwaitReply(int expectedCode);
    std::string GetLastReply() const;

    /// The longest silence tolerated while waiting; negative counts as the default 15000 ms.
    void SetTimeout(std::int32_t milliseconds);

    /// Set before Connect. With SmtpSecurity::None and no user the plain HELO dialogue is spoken.
    void SetSecurity(SmtpSecurity security);
    void SetLogin(const std::string& user, const std::string& password);
};

/// A short English reason for an error number of the dialogue, such as "connection refused".
std::string ErrorReason(std::uint32_t error);

} // namespace turnpost
