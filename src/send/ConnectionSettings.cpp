#include "send/ConnectionSettings.h"

#include "platform/TlsContext.h"
#include "platform/UserInterface.h"
#include "send/SmtpPassword.h"

namespace turnpost {

ConnectionSettings ConnectionSettings::ForRun(const GameDocument& document, IUserInterface& ui,
                                              bool askPassword)
{
    return ForRun(document.Setup, CommandSource::Of(document), ui, askPassword);
}

ConnectionSettings ConnectionSettings::ForRun(const GameSetup& setup, const CommandSource& source,
                                              IUserInterface& ui, bool askPassword)
{
    ConnectionSettings settings;
    settings.Server = setup.SmtpServer;
    settings.Timeout = setup.SmtpTimeout;
    settings.Security = static_cast<SmtpSecurity>(setup.SmtpSecurity);
    settings.User = setup.SmtpUser;
    if (settings.Security == SmtpSecurity::StartTls || settings.Security == SmtpSecurity::ImplicitTls)
        settings.Tls = std::make_shared<CTlsContext>();
    settings.LoginMethod = static_cast<SmtpLoginMethod>(setup.SmtpLoginMethod);
    if (!settings.User.empty() && askPassword) {
        std::string error;
        settings.PasswordAccount = turnpost::PasswordAccount(setup);
        if (auto password = ObtainSmtpPassword(setup, source, ui, error, &settings.PasswordAskedOfUser))
            settings.Password = std::move(*password);
        else
            settings.Error = error.empty() ? "No password for " + settings.User : error;
    }
    return settings;
}

void ConnectionSettings::Apply(CSMTPConnection& connection) const
{
    connection.SetTimeout(Timeout);
    connection.SetSecurity(Security);
    connection.SetTlsContext(Tls);
    if (!User.empty())
        connection.SetLogin(User, Password);
    connection.SetLoginMethod(LoginMethod);
}

std::string StopReasonAfter(const SmtpError& error, const std::string& who)
{
    if (error.LoginRefused())
        return "the server refused the login (see " + who + ")";
    if (error.CertificateRejected)
        return "the server's certificate was not accepted (see " + who + ")";
    // RFC 5321 3.1, 4.2.1: a 5xx greeting or a 5xx to our introduction is permanent; a 4xx one
    // (421, too many connections) may pass by the next player.
    const bool introduction =
        error.Step == SmtpStep::Greeting || error.Step == SmtpStep::Ehlo || error.Step == SmtpStep::Helo;
    if (introduction && error.Code() == ErrorCode::UnexpectedReply && error.ReplyCode >= 500 &&
        error.ReplyCode <= 599)
        return "the server refused the connection (see " + who + ")";
    return {};
}

void ConnectionSettings::ForgetRefusedPassword(IUserInterface& ui) const
{
    if (PasswordAskedOfUser)
        ui.ForgetPassword(PasswordAccount);
}

} // namespace turnpost
