#pragma once

#include "platform/ErrorCode.h"

#include <cstdint>
#include <string>

namespace turnpost {

/// The point of the SMTP dialogue where a connection or delivery failed: mostly the command whose
/// reply was being waited on.
enum class SmtpStep
{
    None,
    Connect,  ///< resolving the name and opening the TCP connection
    Tls,      ///< the TLS handshake
    Greeting, ///< the server's 220
    Ehlo,
    Helo,
    StartTls,
    Auth,
    Mail,
    Rcpt,
    Data,
    EndOfData, ///< the reply to the message itself
    Quit,
};

/// "the greeting", "EHLO", ..., "end of data": for "the reply to X" and "unexpected reply to X".
const char* StepName(SmtpStep step);

/// True for the steps of SendMessage, after the connection has been made.
bool IsDeliveryStep(SmtpStep step);

/// Why a connection or a delivery failed, as one record: the error number (ErrorCode.h), the step,
/// and what the server said. The send layer turns it into the player's line.
struct SmtpError
{
    std::uint32_t Number = 0;
    SmtpStep Step = SmtpStep::None;
    /// The server's reply as it came (lines joined by CR LF), or the part of it that came before a
    /// time-out or a closed connection; empty when the server said nothing.
    std::string Reply;
    /// Its three-digit code, 0 when there is no complete reply.
    int ReplyCode = 0;
    /// What no number says, in words: a TLS failure with OpenSSL's reason, a missing STARTTLS or login
    /// method, a password that would go out in clear, an address that cannot be sent. Empty otherwise.
    std::string Text;
    /// The TLS handshake failed because the server's certificate did not verify.
    bool CertificateRejected = false;

    bool IsSet() const { return Number != 0 || !Text.empty(); }
    ErrorCode Code() const { return static_cast<ErrorCode>(Number); }
    /// The server refused the user name and password (RFC 4954 6: 535, 534, 538; 530 to AUTH).
    bool LoginRefused() const;
};

} // namespace turnpost
