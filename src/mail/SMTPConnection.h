#pragma once

#include "mail/MailSocket.h"
#include "mail/SmtpAuth.h"
#include "mail/SmtpError.h"
#include "mail/SmtpReplyReader.h"
#include "platform/SmtpOptions.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace turnpost {

class CMailMessage;

/// What a pipelining connection (RFC 2920 3.1) sends in the same write as a message's end of data,
/// so that the next message costs no round trip of its own. Ignored where PIPELINING is not offered.
struct SmtpFollowUp
{
    /// The message after this one; only its sender and recipients are used. Its MAIL, RCPT and DATA
    /// go out behind the end of data, and its own SendMessage reads their replies.
    const CMailMessage* Next = nullptr;
    /// Nothing follows: QUIT goes out behind the end of data, and Disconnect only reads its reply.
    bool Quit = false;
};

/// Delivers one message over one SMTP connection (RFC 5321). Failures return false and leave one
/// record of what went wrong in GetError: the error number, the step of the dialogue, and the
/// server's reply. The thread's last-error number is set as well (SendMessage turns a refused or late
/// reply into 22 there).
///
/// Error numbers (ErrorCode.h): 10043 for a reply with another code than expected or a reply line
/// over 999 bytes, 10060 when no complete reply came within the time-out (counted from the last byte
/// received), 10054 when the server closed the connection, 10053 when TLS failed; the socket layer's
/// own numbers for connecting and sending.
class CSMTPConnection
{
public:
    CSMTPConnection();
    ~CSMTPConnection();
    CSMTPConnection(const CSMTPConnection&) = delete;
    CSMTPConnection& operator=(const CSMTPConnection&) = delete;

    /// server is "host", "host:port" or "[v6 address]:port"; defaultPort applies when none is given.
    bool Connect(const std::string& server, std::uint16_t defaultPort = 25);
    /// Refuses a sender or recipient address that would break its command before sending anything:
    /// the error's text then gives "Invalid e-mail address: " and the address.
    bool SendMessage(const CMailMessage& message, const SmtpFollowUp& followUp = {});
    /// True when QUIT was answered with 221. A failure recorded before stays the one GetError gives.
    bool Disconnect();
    /// Reads one whole reply; true when its code is the expected one.
    bool AwaitReply(int expectedCode);

    /// Why the last Connect or SendMessage failed; empty (IsSet false) after success.
    const SmtpError& GetError() const { return m_Error; }
    /// The last complete reply, whether it was the expected one or not (lines joined by CR LF).
    const std::string& GetReplyText() const { return m_Reader.Text(); }

    /// The longest silence tolerated while waiting; negative counts as DefaultSmtpTimeout.
    void SetTimeout(std::int32_t milliseconds);

    /// Set before Connect. With SmtpSecurity::None and no user the plain HELO dialogue is spoken.
    void SetSecurity(SmtpSecurity security);
    void SetLogin(const std::string& user, const std::string& password);
    /// The TLS context that the connections of one run share; without one each makes its own.
    void SetTlsContext(std::shared_ptr<CTlsContext> context) { m_Socket.SetTlsContext(std::move(context)); }

    /// RSET (RFC 5321 4.1.1.5): clears a refused transaction so that the connection can carry the
    /// next message. True when the server answered 250; GetError keeps the refusal before it.
    bool Reset();
    /// The envelope of a message went out behind the last end of data and its replies are unread.
    bool HasAnnounced() const { return m_Announced.has_value(); }
    /// Takes back an announced envelope that no message follows: its replies are read, then RSET
    /// clears what the server took. Where the server answered DATA with 354 it waits for data that
    /// will not come, and the connection is closed without an end of data, which delivers nothing.
    void WithdrawAnnounced();
    /// True while the connection can carry another message: it stands, every reply so far has been
    /// read, TLS is intact, and the server has neither closed it nor said it will (421).
    bool IsReusable() const;
    /// The server's last EHLO reply offered PIPELINING (RFC 2920): SendMessage then sends MAIL,
    /// RCPT and DATA in one write and reads their replies in order.
    bool OffersPipelining() const { return m_Pipelining; }
    /// The server's last EHLO reply offered SMTPUTF8 (RFC 6531).
    bool OffersSmtpUtf8() const { return m_SmtpUtf8Offered; }
    /// The server's last EHLO reply offered SIZE (RFC 1870): MAIL FROM then declares each message's
    /// size, and a message over the server's limit is refused before anything of it is sent.
    bool OffersSize() const { return m_SizeOffered; }
    /// The last SendMessage failed where the server cannot have taken the message: the connection
    /// ended (a close, a reset, a 421) before any reply to its MAIL FROM, or a reply came before
    /// MAIL FROM was sent. Such a message may go once more over a new connection.
    bool MessageUntaken() const { return m_Untaken; }
    void SetLoginMethod(SmtpLoginMethod method) { m_LoginMethod = method; }
    /// Set before Connect for a message whose addresses need SMTPUTF8: the connection then greets with
    /// EHLO, to learn whether the server offers it.
    void SetSmtpUtf8Wanted(bool wanted) { m_SmtpUtf8Wanted = wanted; }

    bool IsConnected() const { return m_Connected; }

    /// Counts the server as another machine whatever its address, so that a test on loopback can
    /// stand in for a remote server when a login would go in clear.
    void TreatPeerAsRemote(bool remote) { m_PeerTakenAsRemote = remote; }

private:
    /// A message's sender and recipients in their wire forms, sender first.
    struct Envelope
    {
        std::vector<std::string> Wire;
        bool SmtpUtf8 = false;
        bool operator==(const Envelope&) const = default;
    };

    /// The server's greeting and our introduction.
    bool Greet();
    bool Deliver(const CMailMessage& message, const SmtpFollowUp& followUp);
    /// Checks the message's addresses and gives their wire forms; a failure is recorded as the
    /// message's, before anything is sent.
    bool PrepareEnvelope(const CMailMessage& message, Envelope& envelope);
    /// MAIL, each RCPT and DATA as one group (RFC 2920 3.1: DATA ends it); the size is declared when
    /// the server offers SIZE and it is known (not for an envelope sent ahead of its message).
    std::string EnvelopeGroup(const Envelope& envelope, std::uint64_t size) const;
    /// Reads the replies to a group of MAIL, RCPT (one per recipient) and DATA in order, so that the
    /// stream stays in step; the first refusal is kept as the failure.
    bool ReadGroupReplies(std::size_t recipients);
    /// EHLO, then STARTTLS and the login as the settings ask.
    bool Introduce(const std::string& name);
    bool StartTls();
    bool Login(const SmtpExtensions& extensions);
    bool LoginWithToken(const SmtpExtensions& extensions);
    /// Records a failure that words tell better than a number.
    bool Fail(std::uint32_t error, std::string text);
    /// Sends one command of the step; a failed send is recorded with the socket layer's number.
    bool SendCommand(SmtpStep step, const std::string& command);
    /// A send of the message itself failed.
    bool FailSend();
    /// A reply wait failed in SendMessage: refused or late replies set the last-error number 22.
    bool FailDialogue();
    /// An attachment could not be read whole while the message went out: the connection is dropped
    /// without the end of data, so that no server takes what was sent for a whole message.
    bool FailContent(const std::string& reason);
    /// MAIL FROM with the parameters the message needs.
    std::string MailFromCommand(const std::string& from, bool smtpUtf8, std::uint64_t size) const;
    /// Before a command goes out: false when bytes are already waiting (a reply can only answer a
    /// command that was sent) or the connection has ended. Takes no more than what is there.
    bool NothingEarly();
    /// The connection ended: a reset, a broken pipe or the server's close (error 10054).
    void NoteEnd(std::uint32_t error);

    CMailSocket m_Socket;
    bool m_Connected = false;
    std::uint32_t m_Timeout = 2000;
    bool m_PeerClosed = false;
    bool m_ServerClosing = false; // a 421 came
    bool m_InStep = false;        // no reply is outstanding and the stream is intact
    bool m_CleanRefusal = false;  // the last failure was a refusal read whole, or came before sending
    bool m_Pipelining = false;
    bool m_OutOfStep = false;            // a reply came that answers no command: nothing read can be trusted
    bool m_EarlyReply = false;           // the last failure was a reply before its command
    bool m_Untaken = false;              // see MessageUntaken
    bool m_QuitSent = false;             // QUIT went out behind the last end of data
    std::optional<Envelope> m_Announced; // sent behind the last end of data, replies unread
    CSmtpReplyReader m_Reader;
    SmtpSecurity m_Security = SmtpSecurity::None;
    std::string m_User;
    std::string m_Password;
    SmtpLoginMethod m_LoginMethod = SmtpLoginMethod::Password;
    bool m_SmtpUtf8Wanted = false;
    bool m_SmtpUtf8Offered = false;
    bool m_SizeOffered = false;
    std::uint64_t m_SizeLimit = 0; // 0: none announced
    SmtpStep m_Step = SmtpStep::None;
    SmtpError m_Error;
    bool m_PeerTakenAsRemote = false;
};

/// RFC 5321 4.1.4: whether HELO may follow a refused EHLO. Only a refusal (5xx) of EHLO itself allows
/// it, and only where nothing from the extensions is needed: not for STARTTLS, nor for a login.
bool HeloMayFollow(const SmtpError& ehloFailure, SmtpSecurity security, bool loginConfigured);

/// "not sent: the message is N MB, the server takes at most M MB", in megabytes of a million bytes with
/// one decimal: the size rounded up and the limit down, so that a message over the limit never reads
/// as one that fits.
std::string OversizeRefusal(std::uint64_t size, std::uint64_t limit);

} // namespace turnpost
