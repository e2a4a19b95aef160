#include "mail/SMTPConnection.h"

#include "mail/MailAttachment.h"
#include "mail/MailMessage.h"
#include "mail/SmtpAuth.h"
#include "platform/Kernel.h"

#include <vector>

namespace turnpost {

namespace {

constexpr std::uint32_t ErrorBadCommand = 22;
constexpr std::uint32_t ErrorAccessDenied = 10013;
constexpr std::uint32_t ErrorInvalidArgument = 10022;
constexpr std::uint32_t ErrorUnexpectedReply = 10043;
constexpr std::uint32_t ErrorConnectionClosed = 10054;
constexpr std::uint32_t ErrorNotConnected = 10057;
constexpr std::uint32_t ErrorTimedOut = 10060;

} // namespace

CSMTPConnection::CSMTPConnection()
{
    m_Socket.SetTimeout(static_cast<int>(m_Timeout));
}

CSMTPConnection::~CSMTPConnection()
{
    if (m_Connected)
        Disconnect();
}

void CSMTPConnection::SetTimeout(std::int32_t milliseconds)
{
    // Nothing may wait without end.
    m_Timeout = milliseconds < 0 ? DefaultTimeout : static_cast<std::uint32_t>(milliseconds);
    m_Socket.SetTimeout(static_cast<int>(m_Timeout));
}

void CSMTPConnection::SetSecurity(SmtpSecurity security)
{
    m_Security = security;
}

void CSMTPConnection::SetLogin(const std::string& user, const std::string& password)
{
    m_User = user;
    m_Password = password;
}

std::string CSMTPConnection::GetLastReply() const
{
    return m_LastReply;
}

bool CSMTPConnection::Connect(const std::string& server, std::uint16_t defaultPort)
{
    if (m_Connected)
        Disconnect();
    m_Socket.Close();
    m_Reader.Reset();
    m_PeerClosed = false;
    m_ServerClosing = false;
    m_InStep = false;
    m_Pipelining = false;
    m_LastErrorText.clear();
    if (m_Security != SmtpSecurity::None && m_Security != SmtpSecurity::StartTls &&
        m_Security != SmtpSecurity::ImplicitTls) {
        m_LastErrorText = "Unknown security setting " + std::to_string(static_cast<int>(m_Security));
        SetLastError(ErrorInvalidArgument);
        return false;
    }
    if (!m_Socket.Connect(server, defaultPort))
        return false;
    m_Connected = true;
    if (Greet()) {
        m_InStep = true;
        return true;
    }

    // A TLS failure mid-stream is told by its own text, whatever reply wait it broke.
    if (m_Socket.HasTlsFailed() && m_LastErrorText.empty())
        m_LastErrorText = m_LastReply = m_Socket.GetTlsErrorText();
    // QUIT even to a server that refused us, but the refusal stays the reported cause: the QUIT
    // exchange that follows says nothing about why the connection failed.
    const std::uint32_t error = GetLastError();
    const std::string reply = m_LastReply;
    Disconnect();
    SetLastError(error);
    m_LastReply = reply;
    return false;
}

bool CSMTPConnection::Greet()
{
    // RFC 8314 3.3: on a port for implicit TLS the handshake comes before the greeting.
    if (m_Security == SmtpSecurity::ImplicitTls && !StartTls())
        return false;
    if (!AwaitReply(220))
        return false;
    // RFC 5321 4.1.1.1: our fully qualified name, or else the address literal of our end.
    std::string name = LocalDomainName();
    if (name.empty())
        name = m_Socket.LocalAddressLiteral();
    if (name.empty())
        name = "[127.0.0.1]";
    if (m_Security != SmtpSecurity::None || !m_User.empty())
        return Introduce(name);
    if (!SendCommand("HELO " + name + "\r\n"))
        return false;
    return AwaitReply(250);
}

bool CSMTPConnection::Introduce(const std::string& name)
{
    if (!SendCommand("EHLO " + name + "\r\n"))
        return false;
    if (!AwaitReply(250)) {
        // RFC 5321 4.1.4: a server that does not know EHLO refuses it, and HELO may follow. That
        // is only good enough when nothing from the extensions is needed.
        const bool refused =
            m_LastWaitError == ErrorUnexpectedReply && m_LastReplyCode >= 500 && m_LastReplyCode <= 599;
        if (!refused || m_Security == SmtpSecurity::StartTls || !m_User.empty())
            return Refused();
        if (!SendCommand("HELO " + name + "\r\n"))
            return false;
        return AwaitReply(250);
    }
    SmtpExtensions extensions = SmtpExtensions::Parse(m_Reader.Text());

    if (m_Security == SmtpSecurity::StartTls) {
        // RFC 3207 4: a client that asked for TLS must not go on in clear.
        if (!extensions.StartTls)
            return SecurityFailure("The server does not offer STARTTLS", ErrorUnexpectedReply);
        if (!SendCommand("STARTTLS\r\n"))
            return false;
        if (!AwaitReply(220))
            return Refused();
        // RFC 3207 4.2: bytes that came in clear after the go-ahead were not protected; whoever sent
        // them must not get to speak for the server.
        m_Reader.Reset();
        if (!StartTls())
            return false;
        // What the server said in clear may have been forged; ask again under protection.
        if (!SendCommand("EHLO " + name + "\r\n"))
            return false;
        if (!AwaitReply(250))
            return Refused();
        extensions = SmtpExtensions::Parse(m_Reader.Text());
    }
    m_Pipelining = extensions.Pipelining;
    if (m_User.empty())
        return true;
    return Login(extensions);
}

bool CSMTPConnection::StartTls()
{
    if (m_Socket.StartTls())
        return true;
    // The stream is in no known state: not even QUIT can follow.
    m_PeerClosed = true;
    return SecurityFailure(m_Socket.GetTlsErrorText(), GetLastError());
}

bool CSMTPConnection::Login(const SmtpExtensions& extensions)
{
    // A password in clear can be read on the way, except when the way never leaves this machine.
    if (!m_Socket.IsSecure() && !m_Socket.IsPeerLoopback())
        return SecurityFailure("Password not sent: the connection to " + m_Socket.GetHost() +
                                   " is not encrypted (choose STARTTLS or SSL/TLS)",
                               ErrorAccessDenied);
    if (extensions.OffersAuth("PLAIN")) {
        if (!SendCommand("AUTH PLAIN " + PlainInitialResponse(m_User, m_Password) + "\r\n"))
            return false;
        return AwaitReply(235) || LoginFailed();
    }
    if (extensions.OffersAuth("LOGIN")) {
        // The two challenges ask for the user name and then the password, always in this order.
        if (!SendCommand("AUTH LOGIN\r\n"))
            return false;
        if (!AwaitReply(334))
            return Refused();
        if (!SendCommand(EncodeSaslBase64(m_User) + "\r\n"))
            return false;
        if (!AwaitReply(334))
            return Refused();
        if (!SendCommand(EncodeSaslBase64(m_Password) + "\r\n"))
            return false;
        return AwaitReply(235) || LoginFailed();
    }
    if (extensions.AuthMechanisms.empty())
        return SecurityFailure("The server does not offer a login (AUTH)", ErrorUnexpectedReply);
    std::string offered;
    for (const auto& mechanism : extensions.AuthMechanisms)
        offered += (offered.empty() ? "" : " ") + mechanism;
    return SecurityFailure("The server offers no login method known here (PLAIN or LOGIN), only " + offered,
                           ErrorUnexpectedReply);
}

bool CSMTPConnection::LoginFailed()
{
    m_LoginRefused = m_LastReplyCode == 535;
    return Refused();
}

bool CSMTPConnection::Refused()
{
    // A reply that came but said no is the best explanation there is, as for a refused delivery.
    if (m_LastWaitError == ErrorUnexpectedReply && !m_LastReply.empty())
        m_LastErrorText = m_LastReply;
    return false;
}

bool CSMTPConnection::SecurityFailure(const std::string& text, std::uint32_t error)
{
    m_LastErrorText = text;
    m_LastReply = text;
    SetLastError(error);
    return false;
}

bool CSMTPConnection::SendCommand(const std::string& command)
{
    return m_Socket.Send(command);
}

bool CSMTPConnection::FailDialogue()
{
    m_CleanRefusal = m_LastWaitError == ErrorUnexpectedReply && !m_ServerClosing && !m_PeerClosed;
    if (m_LastWaitError == ErrorUnexpectedReply || m_LastWaitError == ErrorTimedOut)
        SetLastError(ErrorBadCommand);
    return false;
}

bool CSMTPConnection::SendMessage(const CMailMessage& message)
{
    m_FailedCommand.clear();
    m_CleanRefusal = false;
    const bool wasInStep = m_InStep;
    const bool delivered = Deliver(message);
    // A refusal read whole, or one before anything was sent, leaves the stream in step; any other
    // failure (a time-out, a broken stream, a 421) leaves it where nobody can tell.
    m_InStep = wasInStep && (delivered || m_FailedCommand.empty() || m_CleanRefusal);
    if (delivered)
        return true;
    // A broken TLS stream explains more than a partial reply or a bare number.
    if (m_Socket.HasTlsFailed())
        m_LastReply = m_Socket.GetTlsErrorText();
    return false;
}

bool CSMTPConnection::Deliver(const CMailMessage& message)
{
    if (!m_Connected) {
        SetLastError(ErrorNotConnected);
        return false;
    }
    // An address with a blank, a bracket or a line break would end its command early or smuggle in
    // another one: refuse it before anything is sent.
    const std::string from = message.From.TrimmedAddress();
    std::vector<std::string> recipients;
    for (int i = 0; i < message.GetRecipientCount(); ++i)
        recipients.push_back(message.GetRecipient(i).TrimmedAddress());
    std::vector<const std::string*> addresses{&from};
    for (const std::string& to : recipients)
        addresses.push_back(&to);
    for (const std::string* address : addresses) {
        if (!CMailAddress::IsUsable(*address)) {
            m_LastReply = "Invalid e-mail address: " + CMailAddress::Escaped(*address);
            SetLastError(ErrorBadCommand);
            return false;
        }
    }

    if (m_Pipelining) {
        if (!SendEnvelopePipelined(from, recipients))
            return false;
    } else {
        m_FailedCommand = "MAIL FROM";
        if (!SendCommand("MAIL FROM:<" + from + ">\r\n"))
            return false;
        if (!AwaitReply(250))
            return FailDialogue();
        m_FailedCommand = "RCPT TO";
        for (const std::string& to : recipients) {
            if (!SendCommand("RCPT TO:<" + to + ">\r\n"))
                return false;
            if (!AwaitReply(250))
                return FailDialogue();
        }
        m_FailedCommand = "DATA";
        if (!SendCommand("DATA\r\n"))
            return false;
        if (!AwaitReply(354))
            return FailDialogue();
    }
    m_FailedCommand = "end of data";

    // Each piece goes out as it is, without gathering the message into one buffer; MSG_MORE lets
    // the kernel pack the short pieces into full segments.
    const bool multipart = !message.GetAttachments().empty();
    if (!m_Socket.Send(message.GetHeader(), true))
        return false;
    if (multipart && !m_Socket.Send(message.GetTextPartHeader(), true))
        return false;
    if (!m_Socket.Send(message.GetDataBody(), true))
        return false;
    for (const CMailAttachment* attachment : message.GetAttachments()) {
        if (!m_Socket.Send(CMailMessage::GetAttachmentPartHeader(*attachment), true))
            return false;
        const std::string_view text = attachment->GetEncodedText();
        if (!m_Socket.Send(text.data(), text.size(), true))
            return false;
    }
    if (multipart && !m_Socket.Send(CMailMessage::ClosingBoundary,
                                    std::char_traits<char>::length(CMailMessage::ClosingBoundary), true))
        return false;
    if (!m_Socket.Send(CMailMessage::EndOfData, std::char_traits<char>::length(CMailMessage::EndOfData)))
        return false;
    if (!AwaitReply(250))
        return FailDialogue();
    m_FailedCommand.clear();
    return true;
}

bool CSMTPConnection::SendEnvelopePipelined(const std::string& from,
                                            const std::vector<std::string>& recipients)
{
    // RFC 2920 3.1: DATA ends the group, as its reply decides what is sent next.
    std::string group = "MAIL FROM:<" + from + ">\r\n";
    for (const std::string& to : recipients)
        group += "RCPT TO:<" + to + ">\r\n";
    group += "DATA\r\n";
    m_FailedCommand = "MAIL FROM";
    if (!SendCommand(group))
        return false;

    // Each reply answers the command in its place (RFC 2920 3.2); the first refusal is the one that
    // counts, the replies after it are read only to keep the stream in step.
    std::string failedCommand;
    std::string failedReply;
    std::uint32_t failedWait = 0;
    int failedCode = 0;
    bool inStep = true;
    const auto take = [&](const char* command, int code) {
        if (AwaitReply(code))
            return true;
        if (failedCommand.empty()) {
            failedCommand = command;
            failedReply = m_LastReply;
            failedWait = m_LastWaitError;
            failedCode = m_LastReplyCode;
        }
        // Without a complete reply, or after the server's goodbye, there is nothing more to read.
        inStep = m_LastWaitError == ErrorUnexpectedReply && !m_ServerClosing;
        return false;
    };
    take("MAIL FROM", 250);
    for (std::size_t i = 0; inStep && i < recipients.size(); ++i)
        take("RCPT TO", 250);
    const bool dataAccepted = inStep && take("DATA", 354);
    if (failedCommand.empty())
        return true;

    m_FailedCommand = failedCommand;
    m_LastReply = failedReply;
    m_LastWaitError = failedWait;
    m_LastReplyCode = failedCode;
    SetLastError(failedWait);
    FailDialogue();
    if (dataAccepted) {
        // The server waits for a message that must not reach only some of its recipients, and no
        // end-of-data could undo that: the connection is given up without one.
        m_PeerClosed = true;
        m_Socket.Close();
    }
    if (dataAccepted || !inStep)
        m_CleanRefusal = false;
    return false;
}

bool CSMTPConnection::Reset()
{
    m_InStep = m_Connected && SendCommand("RSET\r\n") && AwaitReply(250);
    return m_InStep;
}

bool CSMTPConnection::IsReusable() const
{
    return m_Connected && m_InStep && !m_PeerClosed && !m_ServerClosing && m_Socket.IsOpen() &&
           !m_Socket.HasTlsFailed();
}

bool CSMTPConnection::Disconnect()
{
    bool ok = false;
    if (m_Connected) {
        if (!m_PeerClosed && !m_Socket.HasTlsFailed()) {
            SendCommand("QUIT\r\n"); // a failed send shows in the reply wait
            ok = AwaitReply(221);
        }
        if (!ok)
            SetLastError(ErrorBadCommand);
        m_Connected = false;
    }
    m_Socket.Close();
    m_Reader.Reset();
    return ok;
}

bool CSMTPConnection::AwaitReply(int expectedCode)
{
    const auto fail = [this](std::uint32_t error, std::string text) {
        m_LastReply = std::move(text);
        m_LastWaitError = error;
        SetLastError(error);
        return false;
    };
    // The time-out counts from the last byte received; the wait blocks in poll for the time that is
    // left, so a reply is taken the moment it arrives.
    std::uint32_t lastActivity = TickCount();
    for (;;) {
        switch (m_Reader.Next()) {
        case CSmtpReplyReader::Status::Complete:
            m_LastReplyCode = m_Reader.Code();
            // RFC 5321 3.8: the server is about to close the connection.
            if (m_LastReplyCode == 421)
                m_ServerClosing = true;
            if (m_LastReplyCode == expectedCode && expectedCode != 0)
                return true;
            return fail(ErrorUnexpectedReply, m_Reader.Text());
        case CSmtpReplyReader::Status::LineTooLong:
        case CSmtpReplyReader::Status::ReplyTooLong: {
            std::string partial = m_Reader.Partial();
            m_Reader.Reset();
            return fail(ErrorUnexpectedReply, std::move(partial));
        }
        case CSmtpReplyReader::Status::Incomplete:
            break;
        }
        if (!m_Socket.IsOpen())
            return fail(ErrorNotConnected, m_Reader.Partial());
        if (m_PeerClosed)
            return fail(ErrorConnectionClosed, m_Reader.Partial());

        const std::uint32_t elapsed = TickCount() - lastActivity;
        if (elapsed > m_Timeout)
            return fail(ErrorTimedOut, m_Reader.Partial());
        switch (m_Socket.WaitReadable(static_cast<int>(m_Timeout - elapsed))) {
        case CMailSocket::WaitResult::TimedOut:
            return fail(ErrorTimedOut, m_Reader.Partial());
        case CMailSocket::WaitResult::Failed:
            return fail(GetLastError(), m_Reader.Partial());
        case CMailSocket::WaitResult::Readable:
            break;
        }
        const long received = m_Socket.Receive(m_Reader.FreeSpace(), m_Reader.FreeSize());
        if (received > 0) {
            m_Reader.Commit(static_cast<std::size_t>(received));
            lastActivity = TickCount();
        } else if (received == 0) {
            m_PeerClosed = true; // fails at once with the next turn, after the bytes already here
        } else if (received != CMailSocket::WouldBlock) {
            return fail(GetLastError(), m_Reader.Partial());
        }
    }
}

std::string ErrorReason(std::uint32_t error)
{
    switch (error) {
    case 0:
        return "no error";
    case 22:
        return "the server refused the command or did not answer in time";
    case 10004:
        return "interrupted";
    case 10013:
        return "permission denied";
    case 10022:
        return "unknown host or invalid server address";
    case 10024:
        return "too many open files";
    case 10035:
        return "resource temporarily unavailable";
    case 10038:
        return "not a socket";
    case 10040:
        return "message too long";
    case 10043:
        return "unexpected reply from the server";
    case 10047:
        return "address family not supported";
    case 10048:
        return "address already in use";
    case 10049:
        return "address not available";
    case 10050:
        return "network is down";
    case 10051:
        return "network unreachable";
    case 10052:
        return "network dropped the connection";
    case 10053:
        return "connection aborted";
    case 10054:
        return "connection closed by the server";
    case 10055:
        return "out of buffer space";
    case 10056:
        return "already connected";
    case 10057:
        return "not connected";
    case 10058:
        return "connection shut down";
    case 10060:
        return "timed out";
    case 10061:
        return "connection refused";
    case 10062:
        return "too many symbolic links";
    case 10063:
        return "name too long";
    case 10064:
        return "host is down";
    case 10065:
        return "host unreachable";
    default:
        break;
    }
    if (error > 0 && error < 10000)
        return SystemErrorText(static_cast<int>(error));
    return "unknown error";
}

} // namespace turnpost
