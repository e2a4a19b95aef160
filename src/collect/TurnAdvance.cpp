#include "collect/TurnAdvance.h"

#include "collect/CollectRun.h"
#include "send/HostMail.h"
#include "send/SendRun.h"
#include "send/TurnDone.h"
#include "send/TurnGeneration.h"

namespace turnpost {

namespace {

/// The lines of a failed chain to the host: a script in cron has nobody watching its output.
void TellHost(GameDocument& document, IUserInterface& ui, std::uint16_t year, AdvanceOutcome& outcome)
{
    if (document.Setup.ReportAddress.empty())
        return;
    std::string body;
    for (const std::string& line : outcome.Lines)
        body += line + "\r\n";
    const std::string game = document.Setup.GameName.empty() ? "" : document.Setup.GameName + " ";
    const std::string subject = game + (year ? std::to_string(year) + ": " : "") + "the turn did not advance";
    std::string error;
    if (!MailHost(document, ui, "Advance Turn", subject, body, error))
        outcome.NoticeError = "The host was not told: " + error;
}

} // namespace

AdvanceOutcome OnAdvance(GameDocument& document, IUserInterface& ui, std::chrono::sys_seconds now)
{
    AdvanceOutcome outcome;
    std::uint16_t year = 0;
    const auto fail = [&](const std::string& why) {
        outcome.result = AdvanceOutcome::Result::Failed;
        outcome.Error = why;
        outcome.Lines.push_back(why);
        TellHost(document, ui, year, outcome);
        return outcome;
    };

    if (!document.Setup.CollectServer.empty()) {
        const CollectOutcome collected = OnCollect(document, ui);
        if (!collected.Succeeded())
            return fail("The collection failed: " +
                        (collected.Error.empty() ? std::string("cancelled") : collected.Error));
        outcome.Lines.push_back("Collected the orders: " + collected.Summary);
    }

    const TurnDoneState state = GetTurnDone(document, now);
    if (!state.Error.empty())
        return fail("Cannot tell whether the turn is done: " + state.Error);
    year = state.Year;
    if (!state.Done) {
        // The usual answer of an hourly run: not a failure, and nothing to tell the host.
        outcome.result = AdvanceOutcome::Result::Waiting;
        outcome.Lines.push_back(TurnDoneText(state, now) + "; nothing generated");
        return outcome;
    }
    outcome.Lines.push_back(TurnDoneText(state, now));

    if (document.Setup.GenerateCommand.empty())
        return fail("The turn is done, but the setup has no generate command");
    // Found out before the game moves on, not after.
    if (document.Setup.SmtpServer.empty())
        return fail("The turn is done, but no SMTP server is specified to send the new turns");
    const GenerationOutcome generated = GenerateTurn(document, ui);
    outcome.Lines.insert(outcome.Lines.end(), generated.Lines.begin(), generated.Lines.end());
    if (!generated.Ok)
        return fail("The generation failed: " + generated.Error);
    year = generated.YearAfter;

    const SendOutcome sent = OnSend(document, ui);
    for (const PlayerAttempt& attempt : sent.Attempts)
        outcome.Lines.push_back(attempt.Result);
    if (!sent.Succeeded()) {
        if (sent.Cancelled)
            return fail("The new turns were not all sent: the send was cancelled");
        if (!sent.Started)
            return fail("The new turns were not sent: " + document.FilePath +
                        " is being sent by another run");
        if (sent.Failed > 0)
            return fail("The new turns were not all sent: " + std::to_string(sent.Failed) +
                        (sent.Failed == 1 ? " player" : " players") + " not mailed");
        return fail("The new turns went out, but the report or the ledger failed");
    }
    outcome.Lines.push_back("Sent the turns of " + std::to_string(year));
    outcome.result = AdvanceOutcome::Result::Advanced;
    return outcome;
}

} // namespace turnpost
