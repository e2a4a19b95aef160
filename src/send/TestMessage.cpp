#include "send/TestMessage.h"

#include "mail/MailMessage.h"
#include "mail/SMTPConnection.h"
#include "platform/UserInterface.h"
#include "platform/Version.h"
#include "send/ConnectionSettings.h"
#include "send/FailureText.h"

namespace turnpost {

std::string SendTestMessage(const GameSetup& setup, const CommandSource& source, IUserInterface& ui)
{
    const auto failure = [](const std::string& error) { return "** ERROR: " + error; };
    if (setup.SmtpServer.empty())
        return failure("No SMTP server specified");
    if (setup.ReturnAddress.empty())
        return failure("No return address to send the test message to");

    const ConnectionSettings connection = ConnectionSettings::ForRun(setup, source, ui, true);
    if (!connection.Error.empty())
        return failure(connection.Error);

    CMailMessage message;
    message.From = CMailAddress::FromMailbox(setup.ReturnAddress);
    message.AddRecipient(CMailAddress::FromMailbox(setup.ReturnAddress));
    const std::string game = setup.GameName.empty() ? std::string("your game") : setup.GameName;
    message.Subject = "Turnpost test message";
    message.SetBody("This message was sent by " + std::string(ProgramName) +
                    " to check the mail settings of " + game +
                    ".\r\nThe players' turns will go out through the same server and login.\r\n");

    // The dialog stays live while a slow server answers; nothing in here touches the user interface.
    const auto progress = ui.CreateProgressWindow("Status");
    progress->SetRange(1, 1);
    progress->SetText("Sending a test message to " + setup.ReturnAddress + "...");
    std::string outcome;
    CSMTPConnection smtp;
    connection.Apply(smtp);
    smtp.SetSmtpUtf8Wanted(message.NeedsSmtpUtf8());
    bool connected = false;
    progress->RunWork([&] { connected = smtp.Connect(connection.Server); });
    // Cancel counts between the two steps, as between players: nothing is mailed once it was pressed.
    bool loginRefused = false;
    if (!connected) {
        loginRefused = smtp.GetError().LoginRefused();
        outcome = failure(FailureText(smtp.GetError()));
    } else if (progress->IsCancelled()) {
        outcome = "Test message cancelled: nothing was sent.";
        progress->RunWork([&] { smtp.Disconnect(); });
    } else {
        progress->RunWork([&] {
            const bool sent = smtp.SendMessage(message);
            outcome = sent ? "Test message sent to " + setup.ReturnAddress + "."
                           : failure(FailureText(smtp.GetError()));
            smtp.Disconnect();
        });
    }
    progress->StepIt();
    if (loginRefused)
        connection.ForgetRefusedPassword(ui);
    return outcome;
}

} // namespace turnpost
