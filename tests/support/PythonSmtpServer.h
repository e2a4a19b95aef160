#pragma once

#include "support/TempDir.h"

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace turnpost::test {

/// How the aiosmtpd server behaves.
struct SmtpServerOptions
{
    std::string Certificate; ///< PEM chain for TLS; needed by the TLS options
    std::string Key;
    bool StartTls = false;                  ///< offer STARTTLS
    bool RequireStartTls = false;           ///< refuse other commands before STARTTLS
    bool RefuseStartTls = false;            ///< offer STARTTLS, answer it with 454
    bool ImplicitTls = false;               ///< TLS from the first byte
    bool RefuseEhlo = false;                ///< answer EHLO with 502
    std::string Login;                      ///< "user:password" that AUTH accepts; empty: no AUTH
    std::string Mechanisms = "PLAIN,LOGIN"; ///< or "NONE": AUTH announced without a mechanism
    bool AuthInClear = false;               ///< offer and accept AUTH without TLS
    bool SmtpUtf8 = false;                  ///< offer SMTPUTF8 (RFC 6531)
    bool Pipelining = false;                ///< offer PIPELINING (RFC 2920)
    std::string RefuseOnce;                 ///< refuse RCPT TO this address the first time only
    int CloseAfter = 0;                     ///< close each connection without a word after so many messages
    bool Abrupt = false;                    ///< end those connections without TLS's goodbye (close_notify)
    int End421After = 0; ///< answer MAIL with 421 and close once a connection has carried so many
};

/// What the server saw, in order.
struct SmtpServerRecord
{
    struct Line
    {
        std::string Text; ///< a command line as it arrived, without CR LF
        bool Tls = false;
    };
    struct Login
    {
        std::string User;
        bool Success = false;
    };
    struct Message
    {
        std::string Content;
        std::string From;
        std::vector<std::string> To;
        bool Tls = false;
        std::string User; ///< who had logged in; empty when nobody
    };
    std::vector<Line> Lines;
    std::vector<Login> Logins;
    std::vector<Message> Messages;
    /// Every completed TLS handshake: true where it resumed an earlier session.
    std::vector<bool> Handshakes;

    /// True when some line that came in clear begins with the prefix (case-insensitive).
    bool SawInClear(const std::string& prefix) const;
};

/// Python's aiosmtpd (Debian's /usr/bin/python3) serving on a free loopback port for the lifetime
/// of this object, recording what it sees.
class PythonSmtpServer
{
public:
    explicit PythonSmtpServer(const SmtpServerOptions& options);
    ~PythonSmtpServer();
    PythonSmtpServer(const PythonSmtpServer&) = delete;
    PythonSmtpServer& operator=(const PythonSmtpServer&) = delete;

    /// False when the server did not come up; Error then holds its output.
    bool IsRunning() const { return m_Port != 0; }
    const std::string& Error() const { return m_Error; }
    std::uint16_t Port() const { return m_Port; }
    /// "127.0.0.1:port", or another host name with the same port.
    std::string Address(const std::string& host = "127.0.0.1") const;

    /// What the server has recorded so far. Each entry is written before the reply to it is sent,
    /// so everything a client has had an answer to is there.
    SmtpServerRecord Record() const;

private:
    TempDir m_Dir;
    pid_t m_Process = -1;
    std::uint16_t m_Port = 0;
    std::string m_Error;
};

} // namespace turnpost::test
