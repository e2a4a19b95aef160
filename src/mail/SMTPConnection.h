#pragma once

#include "mail/MailSocket.h"
#include "mail/SmtpAuth.h"
#include "mail/SmtpReplyReader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace turnpost {

class CMailMessage;

/// How the connection is secured: 0 plain, 1 STARTTLS, 2 TLS from the first byte.
enum class SmtpSecurity : int
{
    None = 0,
    StartTls = 1,
    ImplicitTls = 2
};

/// Delivers one message over one SMTP connection (RFC 5321). Failures return false and leave either
/// the last-error number (GetLastError, after Connect) or the last reply (GetLastReply, after
/// SendMessage).
///
/// Error numbers: 10043 for a reply with another code than expected, 10060 when no complete reply
/// came within the time-out (counted from the last byte received), 10054 when the server closed the
/// connection, 10043 as well for a reply line over 999 bytes; the socket layer's own numbers for
/// connecting and sending. SendMessage turns a refused or late reply into 22.
class CSMTPConnection
{
public:
    static constexpr std::uint32_t DefaultTimeout = 15000;

    CSMTPConnection();
    ~CSMTPConnection();
    CSMTPConnection(const CSMTPConnection&) = delete;
    CSMTPConnection& operator=(const CSMTPConnection&) = delete;

    /// server is "host", "host:port" or "[v6 address]:port"; defaultPort applies when none is given.
    bool Connect(const std::string& server, std::uint16_t defaultPort = 25);
    /// Refuses a sender or recipient address that would break its command before sending anything:
    /// GetLastReply then gives "Invalid e-mail address: " and the address.
    bool SendMessage(const CMailMessage& message);
    /// True when QUIT was answered with 221.
    bool Disconnect();
    /// Reads one whole reply; true when its code is the expected one.
    bool AwaitReply(int expectedCode);

    /// RSET (RFC 5321 4.1.1.5): clears a refused transaction so that the connection can carry the
    /// next message. True when the server answered 250.
    bool Reset();
    /// True while the connection can carry another message: it stands, every reply so far has been
    /// read, TLS is intact, and the server has neither closed it nor said it will (421).
    bool IsReusable() const;
    /// The server's last EHLO reply offered PIPELINING (RFC 2920): SendMessage then sends MAIL,
    /// RCPT and DATA in one write and reads their replies in order.
    bool OffersPipelining() const { return m_Pipelining; }
    /// The command whose reply or send ended the last failed SendMessage: "MAIL FROM", "RCPT TO",
    /// "DATA" or "end of data". Empty after success and after a refusal before anything was sent.
    const std::string& GetFailedCommand() const { return m_FailedCommand; }
    /// The server closed the connection, or said it would with 421.
    bool ServerEnded() const { return m_PeerClosed || m_ServerClosing; }
    std::string GetLastReply() const;

    /// The longest silence tolerated while waiting; negative counts as the default 15000 ms.
    void SetTimeout(std::int32_t milliseconds);

    /// Set before Connect. With SmtpSecurity::None and no user the plain HELO dialogue is spoken.
    void SetSecurity(SmtpSecurity security);
    void SetLogin(const std::string& user, const std::string& password);
    /// The TLS context that the connections of one run share; without one each makes its own.
    void SetTlsContext(std::shared_ptr<CTlsContext> context) { m_Socket.SetTlsContext(std::move(context)); }

    /// The code and text of the last complete reply, whether it was the expected one or not.
    int GetLastReplyCode() const { return m_LastReplyCode; }
    const std::string& GetReplyText() const { return m_Reader.Text(); }
    /// The number the last failed reply wait set (10043, 10060, 10054 or the socket layer's), also
    /// after SendMessage has replaced it by 22.
    std::uint32_t GetLastWaitError() const { return m_LastWaitError; }
    bool IsConnected() const { return m_Connected; }
    /// Connect failed because the server refused the user name and password (RFC 4954's 535).
    bool LoginRefused() const { return m_LoginRefused; }

    /// Why the last Connect failed, where a number cannot say it: a TLS failure with OpenSSL's
    /// reason, a server that lacks STARTTLS or a login method, a password that would go out in
    /// clear, or the server's reply refusing EHLO, STARTTLS or the login. Empty after other failures
    /// (their number tells them) and after success.
    const std::string& GetLastErrorText() const { return m_LastErrorText; }

private:
    /// The server's greeting and our introduction.
    bool Greet();
    bool Deliver(const CMailMessage& message);
    /// RFC 2920: the envelope and DATA in one write, every reply read so that the stream stays in
    /// step, the first refusal kept as the failure.
    bool SendEnvelopePipelined(const std::string& from, const std::vector<std::string>& recipients);
    /// EHLO, then STARTTLS and the login as the settings ask.
    bool Introduce(const std::string& name);
    bool StartTls();
    bool Login(const SmtpExtensions& extensions);
    /// A reply wait of the extended dialogue failed: a refusal becomes the error text.
    bool Refused();
    bool LoginFailed();
    bool SecurityFailure(const std::string& text, std::uint32_t error);
    bool SendCommand(const std::string& command);
    /// A reply wait failed in SendMessage: refused or late replies become 22, while a broken
    /// connection keeps the socket layer's number.
    bool FailDialogue();

    CMailSocket m_Socket;
    bool m_Connected = false;
    bool m_LoginRefused = false;
    std::string m_LastReply;
    std::uint32_t m_Timeout = 2000;
    int m_LastReplyCode = 0;
    std::uint32_t m_LastWaitError = 0;
    bool m_PeerClosed = false;
    bool m_ServerClosing = false; // a 421 came
    bool m_InStep = false;        // no reply is outstanding and the stream is intact
    bool m_CleanRefusal = false;  // the last failure was a refusal read whole
    bool m_Pipelining = false;
    std::string m_FailedCommand;
    CSmtpReplyReader m_Reader;
    SmtpSecurity m_Security = SmtpSecurity::None;
    std::string m_User;
    std::string m_Password;
    std::string m_LastErrorText;
};

/// A short English reason for an error number of the dialogue, such as "connection refused".
std::string ErrorReason(std::uint32_t error);

} // namespace turnpost
