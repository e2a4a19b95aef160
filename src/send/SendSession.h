#pragma once

#include "mail/MailAttachment.h"
#include "send/ConnectionSettings.h"

#include <cstdint>
#include <memory>
#include <string>

namespace turnpost {

class CMailMessage;

/// What the messages of one send run share: the connection settings, the universe file (every
/// player gets it, so a small one is read and encoded once), and, where the settings speak EHLO (TLS or a
/// login), one SMTP connection for all of them: the greeting, the TLS handshake and the login then
/// happen once per run instead of once per player. A plain setup keeps one connection per message.
class CSendSession
{
public:
    /// A connection is not kept idle for longer than this; a longer pause closes it.
    static constexpr int LongestIdle = 30000;
    /// How long the QUIT that ends a shared connection waits for its reply, at most.
    static constexpr std::int32_t QuitGrace = 2000;
    /// How long QUIT waits for its reply under the run's time-out (negative: the default).
    static std::int32_t QuitTimeout(std::int32_t timeout, bool keepsConnection);

    explicit CSendSession(const ConnectionSettings& settings);
    ~CSendSession();
    CSendSession(const CSendSession&) = delete;
    CSendSession& operator=(const CSendSession&) = delete;

    const ConnectionSettings& Settings() const { return m_Settings; }
    /// True when the messages share one connection.
    bool KeepsConnection() const { return m_Keep; }

    /// Below this size the universe file is encoded once and held for the run; a larger one is read
    /// again for each message, so that memory stays the same whatever its size.
    static constexpr std::uint64_t HeldUniverseSize = std::uint64_t{8} << 20;

    /// The universe file at path: opened on first use, and read and encoded then when it is small;
    /// a larger one is opened again at each call. Null when it cannot be mailed.
    const CMailAttachment* Universe(const std::string& path);
    /// Why the universe file could not be read, naming it.
    const std::string& UniverseError() const { return m_Universe.GetError(); }

    /// Opens a connection when none is ready. False with the error text for the report line; who
    /// names the mail ("Player 1") for the lines of those that a refused login stops.
    /// smtpUtf8 asks a new connection to greet with EHLO, to learn whether the server offers SMTPUTF8.
    bool Connect(std::string& error, const std::string& who, bool smtpUtf8 = false);
    /// Delivers one message, connecting first when needed. False with the error text. On a shared
    /// connection a refused message is followed by RSET; when the server ends the connection (it
    /// closes, resets it or answers 421) before it answered the message's MAIL FROM, or answers
    /// before MAIL FROM was sent, the message goes once more over a new connection; cut later, or
    /// out of step later, it fails, and the next message gets a new connection.
    /// reply (when given) gets what the server said to the end of the data.
    bool Deliver(const CMailMessage& message, std::string& error, const std::string& who,
                 std::string* reply = nullptr);
    /// What follows the next Deliver on the shared connection: the mail after it (only its sender
    /// and recipients count), or nothing. Where the server offers PIPELINING, that mail's envelope,
    /// or else QUIT, goes out with the end of data, so that each mail costs one round trip
    /// (RFC 2920 3.1). Holds for one Deliver; without it the end of data goes alone. A mail announced
    /// and then not delivered (a file that cannot be read, Cancel) is taken back before the next.
    void FollowWith(const CMailMessage& next);
    void FollowWithNothing();
    /// Before a pause of that many milliseconds: a connection is not kept idle that long.
    void BeforePause(int milliseconds);
    /// Ends the connection that is open, if any, waiting QuitTimeout for the QUIT reply.
    void Close();

    /// Why no further connection may be tried (see StopReasonAfter); empty while they may.
    const std::string& StopReason() const { return m_StopReason; }
    /// After the run: forgets a password the user interface gave when a server refused the login.
    void ForgetRefusedPassword(IUserInterface& ui) const;

private:
    const ConnectionSettings& m_Settings;
    const bool m_Keep;
    std::unique_ptr<CSMTPConnection> m_Smtp;
    std::unique_ptr<CMailMessage> m_Following; // see FollowWith
    bool m_NothingFollows = false;
    // What the run's connections have shown of the settings.
    bool m_LoginRefused = false;
    std::string m_StopReason;

    bool m_UniverseTried = false;
    std::string m_UniversePath;
    bool m_UniverseLoaded = false;
    CMailAttachment m_Universe;
};

} // namespace turnpost
