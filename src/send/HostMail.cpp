#include "send/HostMail.h"

#include "mail/MailMessage.h"
#include "platform/UserInterface.h"
#include "send/ConnectionSettings.h"
#include "send/SendSession.h"

namespace turnpost {

bool MailHost(GameDocument& document, IUserInterface& ui, const std::string& title,
              const std::string& subject, const std::string& body, std::string& error)
{
    const GameSetup& setup = document.Setup;
    if (setup.ReportAddress.empty()) {
        error = "no report address";
        return false;
    }
    if (setup.SmtpServer.empty()) {
        error = "no SMTP server specified";
        return false;
    }
    if (setup.ReturnAddress.empty()) {
        error = "no return address";
        return false;
    }
    CMailMessage message;
    message.From = CMailAddress::FromMailbox(setup.ReturnAddress);
    message.AddRecipient(CMailAddress::FromMailbox(setup.ReportAddress));
    message.Subject = subject;
    message.SetBody(body);

    const ConnectionSettings connection = ConnectionSettings::ForRun(document, ui, true);
    CSendSession session(connection);
    const auto progress = ui.CreateProgressWindow(title);
    progress->SetText("Telling the host...");
    progress->PumpMessages();
    bool sent = false;
    progress->RunWork([&] {
        sent = session.Deliver(message, error, "the mail to the host");
        session.Close();
    });
    session.ForgetRefusedPassword(ui);
    return sent;
}

} // namespace turnpost
