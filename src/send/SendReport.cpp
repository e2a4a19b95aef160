#include "send/SendReport.h"

#include "mail/MailMessage.h"
#include "mail/SMTPConnection.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/UserInterface.h"
#include "platform/Version.h"
#include "send/ConnectionSettings.h"
#include "send/Placeholders.h"
#include "send/SendSession.h"

namespace turnpost {

namespace {

constexpr const char* CancelledText = "Operation cancelled!";

std::string WithCrLf(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        // A line that already ends in CR LF keeps its one CR.
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

} // namespace

std::string BuildReportHeader(const GameDocument& document)
{
    std::string header = std::string(ProgramName) + " Send Report\n";
    header += FormatLocalTime("%d %b %Y - %I:%M:%S %p (%Z)\n\n");
    header += "   Game name:  %G\n";
    header += "   Data file:  " + document.FilePath + "\n";
    header += "   Turn year:  %Y\n";
    header += "\n";
    return header;
}

bool SaveReport(const GameDocument& document, const std::string& body, std::string* error)
{
    const std::string& path = document.Setup.ReportFile;
    const std::string text =
        ExpandPlaceholders(BuildReportHeader(document), document) + ExpandPlaceholders(body, document);
    const WriteResult written = WriteFileAtomically(path, WithCrLf(text), SpecialTarget::WriteInPlace);
    if (written.Ok())
        return true;
    if (error)
        *error = path.empty() ? "no report file is named" : WriteErrorMessage(written.Error, path);
    return false;
}

void SetReportEnvelope(const GameSetup& setup, CMailMessage& message)
{
    message.From = CMailAddress::FromMailbox(setup.ReturnAddress);
    message.AddRecipient(CMailAddress(setup.ReportAddress));
}

bool MailReport(const GameDocument& document, IUserInterface& ui, const std::string& body,
                CSendSession& session, ReportMailResult* result)
{
    ReportMailResult local;
    ReportMailResult& outcome = result ? *result : local;
    outcome = {};
    outcome.Error = "cancelled";

    const auto progress = ui.CreateProgressWindow("Status");
    progress->SetRange(4, 1);
    progress->SetText("Sending report...");
    progress->PumpMessages();

    // The user may cancel between the steps; what is already open is closed by its destructor.
    const auto cancelled = [&] {
        progress->StepIt();
        progress->PumpMessages();
        if (!progress->IsCancelled())
            return false;
        ui.MessageBox(CancelledText);
        return true;
    };

    if (cancelled())
        return false;

    const GameSetup& setup = document.Setup;
    CMailMessage message;
    SetReportEnvelope(setup, message);
    message.Subject = ExpandPlaceholders("%G - Turnpost Send Report for Year %Y", document);
    message.SetBody(ExpandPlaceholders(BuildReportHeader(document) + body, document));

    if (cancelled())
        return false;

    std::string error;
    bool connected = false;
    // Like a player's mail, off the window's thread where the window offers one.
    progress->RunWork([&] {
        connected = session.Connect(error, "the report mail", message.NeedsSmtpUtf8());
        if (!connected)
            outcome.Error = error;
    });

    if (cancelled())
        return false;

    if (connected) {
        progress->RunWork([&] {
            // The last mail of the run: QUIT may go with it.
            session.FollowWithNothing();
            outcome.Delivered = session.Deliver(message, error, "the report mail");
            outcome.Error = outcome.Delivered ? std::string() : error;
        });
    }
    progress->StepIt();
    progress->RunWork([&] { session.Close(); });
    return true;
}

} // namespace turnpost
