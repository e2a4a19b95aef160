#pragma once

#include "mail/SMTPConnection.h"
#include "send/SmtpPassword.h"
#include "setup/GameSetup.h"

#include <cstdint>
#include <memory>
#include <string>

namespace turnpost {

class IUserInterface;

/// How every connection of one send run is made: the players' mail and the report mail alike. The
/// password is obtained once per run, so the host is asked at most once. Fixed once made: what a run
/// learns from its connections (a refused login) is kept by its CSendSession.
struct ConnectionSettings
{
    std::string Server;
    std::int32_t Timeout = DefaultSmtpTimeout;
    SmtpSecurity Security = SmtpSecurity::None;
    std::string User;
    /// The password, or the OAuth2 access token when LoginMethod says so.
    std::string Password;
    SmtpLoginMethod LoginMethod = SmtpLoginMethod::Password;
    /// Why no connection may be tried (the password could not be had); empty when all is well.
    std::string Error;
    /// The password came from the user interface (a dialog or its keyring), under this account.
    bool PasswordAskedOfUser = false;
    std::string PasswordAccount;
    /// Shared by every secured connection of the run: the certificate store is read once and a
    /// reconnection resumes the TLS session. Null when the run speaks no TLS.
    std::shared_ptr<CTlsContext> Tls;

    /// The settings of the document's setup; asks for the password only when a user is set and
    /// askPassword is true (a run that will open no connection should not ask). A password command the
    /// document read from its file runs only once approved (see RunApprovedCommand).
    static ConnectionSettings ForRun(const GameDocument& document, IUserInterface& ui, bool askPassword);
    /// The same for a setup not (yet) in the document, such as Mail Settings being edited: source says
    /// where its password command came from.
    static ConnectionSettings ForRun(const GameSetup& setup, const CommandSource& source, IUserInterface& ui,
                                     bool askPassword);

    /// Gives a fresh connection the time-out, security and login.
    void Apply(CSMTPConnection& connection) const;

    /// A server refused the password: one from the user interface is not to be handed out again by a
    /// keyring, so the next run asks instead of failing the same way.
    void ForgetRefusedPassword(IUserInterface& ui) const;
};

/// Why no further connection of a run may be tried after this failure to connect, such as "the server
/// refused the login (see Player 1)": a refused login is not tried again with the same credentials
/// (servers lock accounts and ban addresses over repeated failures), and a certificate that did not
/// verify will not verify for the next mail either, nor will a server that refused the connection
/// for good (5xx to the greeting, EHLO or HELO) take the next. Empty when others may be tried. who names the
/// mail that failed.
std::string StopReasonAfter(const SmtpError& error, const std::string& who);

} // namespace turnpost
