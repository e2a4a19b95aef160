#include "send/ConnectionSettings.h"

#include "platform/Kernel.h"
#include "platform/UserInterface.h"
#include "send/SmtpPassword.h"

namespace turnpost {

ConnectionSettings ConnectionSettings::ForRun(const GameSetup& setup, IUserInterface& ui, bool askPassword,
                                              const std::string& commandFile)
{
    ConnectionSettings settings;
    settings.Server = setup.SmtpServer;
    settings.Timeout = setup.SmtpTimeout;
    settings.Security = static_cast<SmtpSecurity>(setup.SmtpSecurity);
    settings.User = setup.SmtpUser;
    if (!settings.User.empty() && askPassword) {
        std::string error;
        settings.PasswordAccount = turnpost::PasswordAccount(setup);
        if (auto password = ObtainSmtpPassword(setup, ui, error, &settings.PasswordAskedOfUser, commandFile))
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
    if (!User.empty())
        connection.SetLogin(User, Password);
}

bool ConnectionSettings::Connect(CSMTPConnection& connection) const
{
    if (connection.Connect(Server))
        return true;
    if (connection.LoginRefused())
        m_LoginRefused = true;
    return false;
}

void ConnectionSettings::ForgetRefusedPassword(IUserInterface& ui) const
{
    if (m_LoginRefused && PasswordAskedOfUser)
        ui.ForgetPassword(PasswordAccount);
}

std::string ConnectErrorText(const CSMTPConnection& connection, std::uint32_t error)
{
    if (!connection.GetLastErrorText().empty())
        return connection.GetLastErrorText();
    std::string text = "Connection error " + std::to_string(error);
    const std::string reason = ErrorReason(error);
    if (!reason.empty())
        text += " (" + reason + ")";
    return text;
}

std::string DeliveryErrorText(const CSMTPConnection& connection)
{
    std::string reply = connection.GetLastReply();
    if (!reply.empty())
        return reply;
    return "Unknown error: " + std::to_string(GetLastError());
}

} // namespace turnpost
