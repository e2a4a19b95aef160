#include "mail/SMTPConnection.h"

#include "mail/Base64.h"
#include "mail/MailAttachment.h"
#include "mail/MailMessage.h"
#include "mail/SmtpAuth.h"
#include "platform/Clock.h"
#include "platform/ErrorCode.h"
#include "platform/LastError.h"

#include <vector>

namespace turnpost {

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
    m_Timeout = milliseconds < 0 ? static_cast<std::uint32_t>(DefaultSmtpTimeout)
                                 : static_cast<std::uint32_t>(milliseconds);
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
    m_OutOfStep = false;
    m_QuitSent = false;
    m_Announced.reset();
    m_SmtpUtf8Offered = false;
    m_SizeOffered = false;
    m_SizeLimit = 0;
    m_Error = {};
    m_Step = SmtpStep::Connect;
    if (m_Security != SmtpSecurity::None && m_Security != SmtpSecurity::StartTls &&
        m_Security != SmtpSecurity::ImplicitTls)
        return Fail(ErrorNumber(ErrorCode::InvalidArgument),
                    "Unknown security setting " + std::to_string(static_cast<int>(m_Security)));
    if (m_LoginMethod != SmtpLoginMethod::Password && m_LoginMethod != SmtpLoginMethod::OAuth2)
        return Fail(ErrorNumber(ErrorCode::InvalidArgument),
                    "Unknown login method " + std::to_string(static_cast<int>(m_LoginMethod)));
    if (!m_Socket.Connect(server, defaultPort)) {
        m_Error.Number = GetLastError();
        m_Error.Step = SmtpStep::Connect;
        return false;
    }
    m_Connected = true;
    if (Greet()) {
        m_InStep = true;
        return true;
    }

    // QUIT even to a server that refused us (Disconnect keeps the refusal as the reported cause).
    Disconnect();
    SetLastError(m_Error.Number);
    return false;
}

bool CSMTPConnection::Greet()
{
    // RFC 8314 3.3: on a port for implicit TLS the handshake comes before the greeting.
    if (m_Security == SmtpSecurity::ImplicitTls && !StartTls())
        return false;
    m_Step = SmtpStep::Greeting;
    if (!AwaitReply(220))
        return false;
    // RFC 5321 4.1.1.1: our fully qualified name, or else the address literal of our end.
    std::string name = LocalDomainName();
    if (name.empty())
        name = m_Socket.LocalAddressLiteral();
    if (name.empty())
        name = "[127.0.0.1]";
    if (m_Security != SmtpSecurity::None || !m_User.empty() || m_SmtpUtf8Wanted)
        return Introduce(name);
    return SendCommand(SmtpStep::Helo, "HELO " + name + "\r\n") && AwaitReply(250);
}

bool CSMTPConnection::Introduce(const std::string& name)
{
    if (!SendCommand(SmtpStep::Ehlo, "EHLO " + name + "\r\n"))
        return false;
    if (!AwaitReply(250)) {
        if (!HeloMayFollow(m_Error, m_Security, !m_User.empty()))
            return false;
        m_Error = {};
        return SendCommand(SmtpStep::Helo, "HELO " + name + "\r\n") && AwaitReply(250);
    }
    SmtpExtensions extensions = SmtpExtensions::Parse(m_Reader.Text());
    m_SmtpUtf8Offered = extensions.SmtpUtf8;

    if (m_Security == SmtpSecurity::StartTls) {
        // RFC 3207 4: a client that asked for TLS must not go on in clear.
        m_Step = SmtpStep::StartTls;
        if (!extensions.StartTls)
            return Fail(ErrorNumber(ErrorCode::UnexpectedReply), "The server does not offer STARTTLS");
        if (!SendCommand(SmtpStep::StartTls, "STARTTLS\r\n") || !AwaitReply(220))
            return false;
        // RFC 3207 4.2: bytes that came in clear after the go-ahead were not protected; whoever sent
        // them must not get to speak for the server.
        m_Reader.Reset();
        if (!StartTls())
            return false;
        // What the server said in clear may have been forged; ask again under protection.
        if (!SendCommand(SmtpStep::Ehlo, "EHLO " + name + "\r\n") || !AwaitReply(250))
            return false;
        extensions = SmtpExtensions::Parse(m_Reader.Text());
        m_SmtpUtf8Offered = extensions.SmtpUtf8;
    }
    m_Pipelining = extensions.Pipelining;
    m_SizeOffered = extensions.Size;
    m_SizeLimit = extensions.SizeLimit;
    if (m_User.empty())
        return true;
    return Login(extensions);
}

bool CSMTPConnection::StartTls()
{
    m_Step = SmtpStep::Tls;
    if (m_Socket.StartTls())
        return true;
    // The stream is in no known state: not even QUIT can follow.
    m_PeerClosed = true;
    const bool rejected = m_Socket.CertificateRejected();
    Fail(GetLastError(), m_Socket.GetTlsErrorText());
    m_Error.CertificateRejected = rejected;
    return false;
}

bool CSMTPConnection::Login(const SmtpExtensions& extensions)
{
    m_Step = SmtpStep::Auth;
    // A password in clear can be read on the way, except when the way never leaves this machine.
    if (!m_Socket.IsSecure() && (m_PeerTakenAsRemote || !m_Socket.IsPeerLoopback()))
        return Fail(ErrorNumber(ErrorCode::AccessDenied),
                    "Password not sent: the connection to " + m_Socket.GetHost() +
                        " is not encrypted (choose STARTTLS or SSL/TLS)");
    if (m_LoginMethod == SmtpLoginMethod::OAuth2)
        return LoginWithToken(extensions);
    if (extensions.OffersAuth("PLAIN"))
        return SendCommand(SmtpStep::Auth,
                           "AUTH PLAIN " + PlainInitialResponse(m_User, m_Password) + "\r\n") &&
               AwaitReply(235);
    if (extensions.OffersAuth("LOGIN")) {
        // The two challenges ask for the user name and then the password, always in this order.
        return SendCommand(SmtpStep::Auth, "AUTH LOGIN\r\n") && AwaitReply(334) &&
               SendCommand(SmtpStep::Auth, EncodeBase64Line(m_User) + "\r\n") && AwaitReply(334) &&
               SendCommand(SmtpStep::Auth, EncodeBase64Line(m_Password) + "\r\n") && AwaitReply(235);
    }
    if (extensions.AuthMechanisms.empty())
        return Fail(ErrorNumber(ErrorCode::UnexpectedReply), "The server does not offer a login (AUTH)");
    std::string offered;
    for (const auto& mechanism : extensions.AuthMechanisms)
        offered += (offered.empty() ? "" : " ") + mechanism;
    return Fail(ErrorNumber(ErrorCode::UnexpectedReply),
                "The server offers no login method known here (PLAIN or LOGIN), only " + offered);
}

bool CSMTPConnection::LoginWithToken(const SmtpExtensions& extensions)
{
    // The providers that want tokens name XOAUTH2; OAUTHBEARER is its standard form (RFC 7628).
    std::string command;
    std::string dummyResponse;
    if (extensions.OffersAuth("XOAUTH2")) {
        command = "AUTH XOAUTH2 " + XOAuth2InitialResponse(m_User, m_Password);
    } else if (extensions.OffersAuth("OAUTHBEARER")) {
        command = "AUTH OAUTHBEARER " + OAuthBearerInitialResponse(m_User, m_Password);
        dummyResponse = EncodeBase64Line("\x01"); // RFC 7628 3.2.3
    } else {
        std::string offered;
        for (const auto& mechanism : extensions.AuthMechanisms)
            offered += (offered.empty() ? "" : " ") + mechanism;
        return Fail(ErrorNumber(ErrorCode::UnexpectedReply),
                    "The server offers no OAuth2 login (XOAUTH2 or OAUTHBEARER)" +
                        (offered.empty() ? std::string() : ", only " + offered));
    }
    if (!SendCommand(SmtpStep::Auth, command + "\r\n"))
        return false;
    if (AwaitReply(235))
        return true;
    // A refused token comes back as a 334 challenge carrying the error in JSON; the client answers
    // it, and the server then gives its refusal (535 and the like).
    if (m_Error.Code() != ErrorCode::UnexpectedReply || m_Error.ReplyCode != 334)
        return false;
    return SendCommand(SmtpStep::Auth, dummyResponse + "\r\n") && AwaitReply(235);
}

bool CSMTPConnection::Fail(std::uint32_t error, std::string text)
{
    m_Error = {};
    m_Error.Number = error;
    m_Error.Step = m_Step;
    m_Error.Text = std::move(text);
    SetLastError(error);
    return false;
}

bool CSMTPConnection::SendCommand(SmtpStep step, const std::string& command)
{
    m_Step = step;
    // The transaction's replies decide what counts as delivered. Out of step while connecting, the
    // extra reply is still waiting when MAIL FROM is due, and is found there.
    if (IsDeliveryStep(step) && !NothingEarly())
        return false;
    if (m_Socket.Send(command))
        return true;
    return FailSend();
}

bool CSMTPConnection::NothingEarly()
{
    // TLS records without data (tickets, key updates) make the socket readable too; a bounded number
    // of them is taken, so that a server that sends nothing else cannot hold the client here.
    for (int turn = 0; turn < 16 && !m_Reader.HasBufferedBytes() && !m_PeerClosed; ++turn) {
        if (m_Socket.WaitReadable(0) != CMailSocket::WaitResult::Readable)
            break;
        const long received = m_Socket.Receive(m_Reader.FreeSpace(), m_Reader.FreeSize());
        if (received > 0) {
            m_Reader.Commit(static_cast<std::size_t>(received));
        } else if (received == 0) {
            m_PeerClosed = true;
        } else if (received != CMailSocket::WouldBlock) {
            NoteEnd(GetLastError());
            return FailSend();
        }
    }
    if (m_Reader.HasBufferedBytes()) {
        // Bytes before their command belong to no command; every reply after them would be taken
        // for the wrong one (a 250 meant for the end of data, given early, hides a later refusal).
        m_OutOfStep = true;
        m_EarlyReply = true;
        const std::string early = m_Reader.Partial();
        Fail(ErrorNumber(ErrorCode::UnexpectedReply),
             "the server answered before the command was sent (protocol error)");
        m_Error.Reply = early;
        return false;
    }
    if (m_PeerClosed)
        return Fail(ErrorNumber(ErrorCode::ConnectionClosed),
                    m_Socket.HasTlsFailed() ? m_Socket.GetTlsErrorText() : std::string());
    return true;
}

void CSMTPConnection::NoteEnd(std::uint32_t error)
{
    if (error == ErrorNumber(ErrorCode::ConnectionClosed))
        m_PeerClosed = true;
}

bool CSMTPConnection::FailSend()
{
    const std::uint32_t error = GetLastError();
    NoteEnd(error);
    // A broken TLS stream is told by its own reason.
    return Fail(error, m_Socket.HasTlsFailed() ? m_Socket.GetTlsErrorText() : std::string());
}

bool CSMTPConnection::FailDialogue()
{
    m_CleanRefusal = m_Error.Code() == ErrorCode::UnexpectedReply && !m_ServerClosing && !m_PeerClosed;
    if (m_Error.Code() == ErrorCode::UnexpectedReply || m_Error.Code() == ErrorCode::TimedOut)
        SetLastError(ErrorCode::BadCommand);
    return false;
}

bool CSMTPConnection::SendMessage(const CMailMessage& message, const SmtpFollowUp& followUp)
{
    m_Error = {};
    m_CleanRefusal = false;
    m_EarlyReply = false;
    const bool wasInStep = m_InStep;
    const bool delivered = Deliver(message, followUp);
    // Until its MAIL FROM is answered, the server has nothing of a message it could deliver.
    m_Untaken = !delivered && m_Error.Step == SmtpStep::Mail &&
                (m_Error.Code() == ErrorCode::ConnectionClosed || m_ServerClosing || m_EarlyReply);
    // A refusal read whole, or one before anything was sent, leaves the stream in step; any other
    // failure (a time-out, a broken stream, a 421) leaves it where nobody can tell.
    m_InStep = wasInStep && (delivered || m_CleanRefusal);
    return delivered;
}

bool CSMTPConnection::PrepareEnvelope(const CMailMessage& message, Envelope& envelope)
{
    // An address with a blank, a bracket or a line break would end its command early or smuggle in
    // another one: refuse it before anything is sent.
    const std::string from = message.From.TrimmedAddress();
    std::vector<std::string> recipients;
    for (int i = 0; i < message.GetRecipientCount(); ++i)
        recipients.push_back(message.GetRecipient(i).TrimmedAddress());
    std::vector<const std::string*> addresses{&from};
    for (const std::string& to : recipients)
        addresses.push_back(&to);
    envelope = {};
    for (const std::string* address : addresses) {
        m_Step = address == &from ? SmtpStep::Mail : SmtpStep::Rcpt;
        // The empty path is the sender of bounces only (RFC 5321 4.5.5), never a recipient.
        if (address != &from && address->empty())
            return Fail(ErrorNumber(ErrorCode::BadCommand), "no e-mail address");
        if (address->size() > CMailAddress::MaxLength)
            return Fail(ErrorNumber(ErrorCode::BadCommand),
                        "Invalid e-mail address: " + std::to_string(address->size()) +
                            " bytes, more than the " + std::to_string(CMailAddress::MaxLength) +
                            " mail allows");
        if (!CMailAddress::IsUsable(*address))
            return Fail(ErrorNumber(ErrorCode::BadCommand),
                        "Invalid e-mail address: " + CMailAddress::Escaped(*address));
        std::string converted;
        std::string error;
        if (!CMailAddress::ToWireForm(*address, converted, error))
            return Fail(ErrorNumber(ErrorCode::BadCommand),
                        "Invalid e-mail address: " + *address + " (domain: " + error + ")");
        if (CMailAddress::NeedsSmtpUtf8(*address)) {
            // RFC 6531 3.4: without the extension such an address cannot be sent at all.
            if (!m_SmtpUtf8Offered)
                return Fail(ErrorNumber(ErrorCode::BadCommand),
                            "not sent: the address " + *address +
                                " needs SMTPUTF8, which the server does not offer");
            envelope.SmtpUtf8 = true;
        }
        envelope.Wire.push_back(std::move(converted));
    }
    return true;
}

bool CSMTPConnection::Deliver(const CMailMessage& message, const SmtpFollowUp& followUp)
{
    m_Step = SmtpStep::Mail;
    if (!m_Connected)
        return Fail(ErrorNumber(ErrorCode::NotConnected), std::string());
    Envelope envelope;
    m_CleanRefusal = true; // a refusal here comes before anything is sent
    if (!PrepareEnvelope(message, envelope))
        return false;
    const std::uint64_t size = m_SizeOffered ? message.GetWireSize() : 0;
    // RFC 1870 6.1: a message the server has said it will not take is not sent; an envelope already
    // announced for it is taken back first.
    if (m_SizeLimit > 0 && size > m_SizeLimit) {
        if (m_Announced)
            WithdrawAnnounced();
        m_Step = SmtpStep::Mail;
        return Fail(ErrorNumber(ErrorCode::MessageTooLong), OversizeRefusal(size, m_SizeLimit));
    }
    m_CleanRefusal = false;

    // A next message whose addresses cannot go out is not announced; its own SendMessage says why.
    std::optional<Envelope> next;
    if (m_Pipelining && followUp.Next) {
        Envelope following;
        if (PrepareEnvelope(*followUp.Next, following))
            next = std::move(following);
        m_Error = {};
    }
    const bool quit = m_Pipelining && !followUp.Next && followUp.Quit;

    if (m_Announced && *m_Announced != envelope) {
        // Another message than the one announced: the server's answer to that envelope is taken
        // back first, and where that costs the connection, this message has not begun on it.
        WithdrawAnnounced();
        if (!IsReusable()) {
            m_Step = SmtpStep::Mail;
            return Fail(ErrorNumber(ErrorCode::ConnectionClosed), std::string());
        }
    }
    if (m_Announced) {
        // The envelope went out behind the last end of data; its replies are next in the stream.
        m_Announced.reset();
        if (!ReadGroupReplies(envelope.Wire.size() - 1))
            return false;
    } else if (m_Pipelining) {
        if (!SendCommand(SmtpStep::Mail, EnvelopeGroup(envelope, size)) ||
            !ReadGroupReplies(envelope.Wire.size() - 1))
            return false;
    } else {
        const std::vector<std::string>& wire = envelope.Wire;
        if (!SendCommand(SmtpStep::Mail, MailFromCommand(wire[0], envelope.SmtpUtf8, size)))
            return false;
        if (!AwaitReply(250))
            return FailDialogue();
        for (std::size_t i = 1; i < wire.size(); ++i) {
            if (!SendCommand(SmtpStep::Rcpt, "RCPT TO:<" + wire[i] + ">\r\n"))
                return false;
            if (!AwaitReply(250))
                return FailDialogue();
        }
        if (!SendCommand(SmtpStep::Data, "DATA\r\n"))
            return false;
        if (!AwaitReply(354))
            return FailDialogue();
    }

    // The 354 must be the last reply: whatever came with it or after it answers nothing sent.
    m_Step = SmtpStep::Data;
    if (!NothingEarly())
        return false;
    // Each piece goes out as it is, without gathering the message into one buffer; MSG_MORE lets
    // the kernel pack the short pieces into full segments.
    m_Step = SmtpStep::EndOfData;
    if (!message.WriteContent(
            [this](std::string_view piece) { return m_Socket.Send(piece.data(), piece.size(), true); }))
        return message.GetContentError().empty() ? FailSend() : FailContent(message.GetContentError());
    // A reply that came while the message went out is early too; the end of data decides.
    if (!NothingEarly())
        return false;
    // RFC 2920 3.1: the end of data may open the next group, and QUIT may follow the last one.
    std::string end = CMailMessage::EndOfData;
    if (next)
        end += EnvelopeGroup(*next, 0);
    else if (quit)
        end += "QUIT\r\n";
    if (!m_Socket.Send(end))
        return FailSend();
    if (next)
        m_Announced = std::move(next);
    m_QuitSent = quit;
    if (!AwaitReply(250))
        return FailDialogue();
    // The 250 came after the end of data and is its reply; bytes behind it answer nothing sent, so
    // the connection carries no further message. Behind an announced envelope or QUIT they are
    // those commands' replies, read in their turn.
    if (!next && !quit && m_Reader.HasBufferedBytes())
        m_OutOfStep = true;
    return true;
}

std::string CSMTPConnection::MailFromCommand(const std::string& from, bool smtpUtf8, std::uint64_t size) const
{
    std::string command = "MAIL FROM:<" + from + ">";
    if (smtpUtf8)
        command += " SMTPUTF8";
    // An envelope sent ahead of its message declares no size: the message is not built yet.
    if (m_SizeOffered && size > 0)
        command += " SIZE=" + std::to_string(size);
    return command + "\r\n";
}

bool CSMTPConnection::FailContent(const std::string& reason)
{
    // RFC 5321 has no way to take back a message once its data has begun; only a connection that
    // ends before the end of data makes the server drop it.
    m_PeerClosed = true;
    m_Socket.Close();
    return Fail(ErrorNumber(ErrorCode::ConnectionAborted), reason);
}

std::string CSMTPConnection::EnvelopeGroup(const Envelope& envelope, std::uint64_t size) const
{
    std::string group = MailFromCommand(envelope.Wire[0], envelope.SmtpUtf8, size);
    for (std::size_t i = 1; i < envelope.Wire.size(); ++i)
        group += "RCPT TO:<" + envelope.Wire[i] + ">\r\n";
    return group + "DATA\r\n";
}

bool CSMTPConnection::ReadGroupReplies(std::size_t recipients)
{
    // Each reply answers the command in its place (RFC 2920 3.2); the first refusal is the one that
    // counts, the replies after it are read only to keep the stream in step.
    SmtpError first;
    bool inStep = true;
    const auto take = [&](SmtpStep step, int code) {
        m_Step = step;
        if (AwaitReply(code))
            return true;
        if (!first.IsSet())
            first = m_Error;
        // Without a complete reply, or after the server's goodbye, there is nothing more to read.
        inStep = m_Error.Code() == ErrorCode::UnexpectedReply && m_Error.ReplyCode != 0 && !m_ServerClosing;
        return false;
    };
    take(SmtpStep::Mail, 250);
    for (std::size_t i = 0; inStep && i < recipients; ++i)
        take(SmtpStep::Rcpt, 250);
    const bool dataAccepted = inStep && take(SmtpStep::Data, 354);
    if (!first.IsSet())
        return true;
    // The reply to DATA is the group's last: bytes behind it answer nothing.
    if (inStep && m_Reader.HasBufferedBytes())
        m_OutOfStep = true;

    m_Error = first;
    SetLastError(first.Number);
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

void CSMTPConnection::WithdrawAnnounced()
{
    if (!m_Announced)
        return;
    const std::size_t recipients = m_Announced->Wire.size() - 1;
    m_Announced.reset();
    // What the replies meet is not the failure of any message.
    const SmtpError cause = m_Error;
    bool kept = false;
    if (IsReusable()) {
        if (ReadGroupReplies(recipients)) {
            // Only the end of data completes a transaction: a connection closed before it delivers
            // nothing, and nothing else leaves the server's data mode unheard.
            m_PeerClosed = true;
            m_Socket.Close();
        } else if (m_CleanRefusal) {
            kept = Reset();
        }
    } else {
        // Out of step, or in the server's data mode: the replies cannot be told apart.
        m_PeerClosed = true;
        m_Socket.Close();
    }
    m_InStep = kept;
    m_Error = cause;
}

bool CSMTPConnection::Reset()
{
    // The refusal before stays the reported cause, whatever RSET meets.
    const SmtpError cause = m_Error;
    // A refused end of data ends its transaction by itself, and the next envelope may already be
    // behind it: RSET there would land in the next message.
    if (m_Announced)
        return IsReusable();
    m_InStep = m_Connected && SendCommand(SmtpStep::Mail, "RSET\r\n") && AwaitReply(250);
    m_Error = cause;
    return m_InStep;
}

bool CSMTPConnection::IsReusable() const
{
    return m_Connected && m_InStep && !m_PeerClosed && !m_ServerClosing && !m_OutOfStep && !m_QuitSent &&
           m_Socket.IsOpen() && !m_Socket.HasTlsFailed();
}

bool CSMTPConnection::Disconnect()
{
    // The first failure is the cause; what QUIT meets after it says nothing new.
    const SmtpError cause = m_Error;
    bool ok = false;
    if (m_Connected) {
        WithdrawAnnounced();
        // Out of step, QUIT would be answered by a reply meant for something else, or in the middle
        // of a message be taken as its text.
        if (!m_PeerClosed && !m_OutOfStep && !m_Socket.HasTlsFailed()) {
            m_Step = SmtpStep::Quit;
            if (!m_QuitSent)
                m_Socket.Send(std::string("QUIT\r\n")); // a failed send shows in the reply wait
            ok = AwaitReply(221);
        }
        if (!ok)
            SetLastError(ErrorCode::BadCommand);
        m_Connected = false;
    }
    if (cause.IsSet())
        m_Error = cause;
    m_Socket.Close();
    m_Reader.Reset();
    return ok;
}

bool CSMTPConnection::AwaitReply(int expectedCode)
{
    const auto fail = [this](std::uint32_t error, std::string reply, int code = 0) {
        m_Error = {};
        m_Error.Number = error;
        m_Error.Step = m_Step;
        m_Error.Reply = std::move(reply);
        m_Error.ReplyCode = code;
        // A TLS failure mid-stream is told by its own text, whatever reply wait it broke.
        if (m_Socket.HasTlsFailed())
            m_Error.Text = m_Socket.GetTlsErrorText();
        SetLastError(error);
        return false;
    };
    // The time-out counts from the last byte received; the wait blocks in poll for the time that is
    // left, so a reply is taken the moment it arrives.
    std::uint32_t lastActivity = TickCount();
    for (;;) {
        switch (m_Reader.Next()) {
        case CSmtpReplyReader::Status::Complete:
            // RFC 5321 3.8: the server is about to close the connection.
            if (m_Reader.Code() == 421)
                m_ServerClosing = true;
            if (m_Reader.Code() == expectedCode && expectedCode != 0)
                return true;
            return fail(ErrorNumber(ErrorCode::UnexpectedReply), m_Reader.Text(), m_Reader.Code());
        case CSmtpReplyReader::Status::LineTooLong:
        case CSmtpReplyReader::Status::ReplyTooLong: {
            std::string partial = m_Reader.Partial();
            m_Reader.Reset();
            return fail(ErrorNumber(ErrorCode::UnexpectedReply), std::move(partial));
        }
        case CSmtpReplyReader::Status::Incomplete:
            break;
        }
        if (!m_Socket.IsOpen())
            return fail(ErrorNumber(ErrorCode::NotConnected), m_Reader.Partial());
        if (m_PeerClosed)
            return fail(ErrorNumber(ErrorCode::ConnectionClosed), m_Reader.Partial());

        const std::uint32_t elapsed = TickCount() - lastActivity;
        if (elapsed > m_Timeout)
            return fail(ErrorNumber(ErrorCode::TimedOut), m_Reader.Partial());
        switch (m_Socket.WaitReadable(static_cast<int>(m_Timeout - elapsed))) {
        case CMailSocket::WaitResult::TimedOut:
            return fail(ErrorNumber(ErrorCode::TimedOut), m_Reader.Partial());
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
            const std::uint32_t error = GetLastError();
            NoteEnd(error);
            return fail(error, m_Reader.Partial());
        }
    }
}

std::string OversizeRefusal(std::uint64_t size, std::uint64_t limit)
{
    // In tenths of a megabyte.
    const std::uint64_t sizeTenths = size / 100000 + (size % 100000 != 0 ? 1 : 0);
    const std::uint64_t limitTenths = limit / 100000;
    const auto megabytes = [](std::uint64_t tenths) {
        return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
    };
    return "not sent: the message is " + megabytes(sizeTenths) + ", the server takes at most " +
           megabytes(limitTenths);
}

bool HeloMayFollow(const SmtpError& ehloFailure, SmtpSecurity security, bool loginConfigured)
{
    // A server that does not know EHLO refuses it; a time-out or a closed connection is no such answer.
    const bool refused = ehloFailure.Code() == ErrorCode::UnexpectedReply && ehloFailure.ReplyCode >= 500 &&
                         ehloFailure.ReplyCode <= 599;
    return refused && security != SmtpSecurity::StartTls && !loginConfigured;
}

} // namespace turnpost
