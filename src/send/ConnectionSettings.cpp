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

bool ConnectionSettings::Connect(CSMTPConnection& connection, const std::string& who) const
{
    if (connection.Connect(Server))
        return true;
    const SmtpError& error = connection.GetError();
    if (error.LoginRefused()) {
        m_LoginRefused = true;
        m_StopReason = "the server refused the login (see " + who + ")";
    } else if (error.CertificateRejected) {
        m_StopReason = "the server's certificate was not accepted (see " + who + ")";
    }
    return false;
}

void ConnectionSettings::ForgetRefusedPassword(IUserInterface& ui) const
{
    if (m_LoginRefused && PasswordAskedOfUser)
        ui.ForgetPassword(PasswordAccount);
}

} // namespace turnpost
