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
    return {};
}

void ConnectionSettings::ForgetRefusedPassword(IUserInterface& ui) const
{
    if (PasswordAskedOfUser)
        ui.ForgetPassword(PasswordAccount);
}

} // namespace turnpost
