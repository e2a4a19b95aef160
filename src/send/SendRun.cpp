#include "send/SendRun.h"

#include "mail/MailAttachment.h"
#include "mail/MailMessage.h"
#include "mail/SMTPConnection.h"
#include "platform/Clock.h"
#include "platform/UserInterface.h"
#include "send/BusyGuard.h"
#include "send/ConnectionSettings.h"
#include "send/Placeholders.h"
#include "send/PlayerVerdict.h"
#include "send/RunLock.h"
#include "send/SendRecord.h"
#include "send/SendReport.h"
#include "send/SendSession.h"
#include "send/TurnCheck.h"
#include "setup/AdditionalFiles.h"

#include <memory>
#include <new>

namespace turnpost {

namespace {

/// Keeps the main window from taking commands while a run goes, whichever way the run ends.

bool AnyPlayerSelected(const GameSetup& setup)
{
    for (const auto& slot : setup.Players)
        if (slot.Selected)
            return true;
    return false;
}

std::string MailPlayerUnguarded(const GameDocument& document, const std::string& address, int index,
                                CSendSession& session, bool* sent, std::string* reply,
                                std::vector<AttachedFile>* mailed)
{
    const GameSetup& setup = document.Setup;
    const std::string prefix = PlayerPrefix(index + 1);
    if (sent)
        *sent = false;
    const auto failure = [&](const std::string& error) { return prefix + "** ERROR: " + error + "\n"; };

    CMailMessage message;
    message.From = CMailAddress::FromMailbox(setup.ReturnAddress);
    message.Subject = ExpandPlaceholders(setup.MessageSubject, document);
    message.SetBody(ExpandPlaceholders(setup.MessageText, document));
    message.AddRecipient(CMailAddress::FromMailbox(address));

    // A player must not be told "Sent OK" for a mail that lacks the file he waits for.
    if (setup.SendUniverseFile && !setup.UniverseFile.empty()) {
        const CMailAttachment* universe = session.Universe(setup.UniverseFile);
        if (!universe)
            return failure(session.UniverseError());
        message.AddAttachment(*universe);
    }
    CMailAttachment player;
    const std::string& playerFile = setup.Players[static_cast<std::size_t>(index)].PlayerFile;
    if (setup.SendPlayerFile && !playerFile.empty()) {
        if (!player.Open(playerFile))
            return failure(player.GetError());
        message.AddAttachment(player);
    }
    // Each further file is taken as the turn file is: one that cannot be read fails this player only.
    std::vector<std::unique_ptr<CMailAttachment>> further;
    for (const std::string& path : AdditionalFilesForPlayer(setup, index + 1)) {
        further.push_back(std::make_unique<CMailAttachment>());
        if (!further.back()->Open(path))
            return failure(further.back()->GetError());
        message.AddAttachment(*further.back());
    }

    std::string error;
    if (!session.Deliver(message, error, "Player " + std::to_string(index + 1), reply))
        return failure(error);
    if (sent)
        *sent = true;
    if (mailed) {
        // Taken while the files went out, so that they describe what the player got.
        const auto& attachments = message.GetAttachments();
        const auto& read = message.GetAttachmentsSent();
        for (std::size_t i = 0; i < attachments.size() && i < read.size(); ++i)
            mailed->push_back({attachments[i]->GetPath(), attachments[i]->GetSize(), read[i].Sha256});
    }
    return prefix + "Sent OK\n";
}

} // namespace

std::string MailPlayer(const GameDocument& document, const std::string& address, int index,
                       CSendSession& session, bool* sent, std::string* reply,
                       std::vector<AttachedFile>* mailed)
{
    // Memory that runs out while one player's mail is built belongs to that player: what was allocated
    // for it is freed on the way out, and the others are still mailed.
    try {
        return MailPlayerUnguarded(document, address, index, session, sent, reply, mailed);
    } catch (const std::bad_alloc&) {
        if (sent)
            *sent = false;
        return PlayerPrefix(index + 1) + "** ERROR: Out of memory\n";
    }
}

std::vector<std::string> RunNotices(const GameSetup& setup, const SendOutcome& outcome)
{
    std::vector<std::string> notices = outcome.LedgerWarnings;
    if (!outcome.LedgerError.empty())
        notices.push_back("The delivery ledger could not be written: " + outcome.LedgerError);
    if (outcome.ReportFileFailed)
        notices.push_back("The report could not be saved to " + setup.ReportFile + ": " +
                          outcome.ReportFileError);
    if (outcome.ReportMailFailed)
        notices.push_back("The report could not be mailed to " + setup.ReportAddress + ": " +
                          outcome.ReportMailError);
    return notices;
}

namespace {

/// Tells the session which mail follows player index's on the connection: the next player who is
/// to be mailed, else the report, else nothing. A pipelining server then gets its envelope, or QUIT,
/// with this player's end of data.
void AnnounceFollowing(const GameDocument& document, int index, const CSendRecord& record,
                       const TurnCheck& turns, CSendSession& session)
{
    const GameSetup& setup = document.Setup;
    for (int next = index + 1; next < PlayerCount; ++next) {
        const PlayerSlot& slot = setup.Players[static_cast<std::size_t>(next)];
        if (!slot.Selected || record.DeliveredEarlier(next) || !PlayerRefusal(setup, next, turns).empty())
            continue;
        CMailMessage following;
        following.From = CMailAddress::FromMailbox(setup.ReturnAddress);
        following.AddRecipient(CMailAddress::FromMailbox(slot.EmailAddress));
        session.FollowWith(following);
        return;
    }
    if (setup.EmailReport) {
        CMailMessage report;
        SetReportEnvelope(setup, report);
        session.FollowWith(report);
        return;
    }
    session.FollowWithNothing();
}

SendOutcome RunSend(GameDocument& document, IUserInterface& ui, bool resendFailed)
{
    SendOutcome outcome;
    ui.View().GatherRows();
    const GameSetup& setup = document.Setup;
    if (setup.SmtpServer.empty()) {
        if (!document.CommandLineRun)
            ui.MessageBox("No SMTP server specified: check your mail settings!", "Error!", MessageButtons::Ok,
                          MessageIcon::Exclamation);
        return outcome;
    }
    CRunLock runLock;
    if (runLock.Take(document) == CRunLock::Result::HeldElsewhere) {
        ui.MessageBox(document.FilePath + " is being sent by another run", {}, MessageButtons::Ok,
                      MessageIcon::Exclamation);
        return outcome;
    }
    // Under the lock, so that no other run adds to the ledger between its reading and this run's end.
    CSendRecord record(document, resendFailed);
    if (resendFailed && !record.LedgerReadError().empty()) {
        ui.MessageBox("Nobody resent: the delivery ledger " + record.LedgerReadError(), {},
                      MessageButtons::Ok, MessageIcon::Exclamation);
        return outcome;
    }
    outcome.Started = true;
    BusyGuard busy(ui);

    // Asked once, and only when some connection will be made.
    const bool connects = AnyPlayerSelected(setup) || setup.EmailReport;
    const ConnectionSettings connection = ConnectionSettings::ForRun(document, ui, connects);
    CSendSession session(connection);

    const auto progress = ui.CreateProgressWindow("Status");
    progress->SetRange(PlayerCount, 1);
    progress->SetText("Initializing...");
    progress->PumpMessages();

    // Read before anybody is mailed: a wrong file stops its player, a running generation everybody.
    const TurnCheck turns = TurnChecksWanted(setup) ? CheckGameFiles(setup) : TurnCheck{};

    std::string summary = turns.Note.empty() ? std::string() : turns.Note + "\n";
    std::string detailed = summary;
    if (!summary.empty())
        progress->ShowResult(summary);
    for (int index = 0; index < PlayerCount; ++index) {
        const int number = index + 1;
        document.CurrentPlayerNumber = number;
        progress->StepIt();
        progress->PumpMessages();
        if (progress->IsCancelled()) {
            outcome.Cancelled = true;
            for (int rest = index; rest < PlayerCount; ++rest)
                outcome.Failed += setup.Players[static_cast<std::size_t>(rest)].Selected ? 1 : 0;
            ui.MessageBox("Operation cancelled!");
            break;
        }

        const PlayerSlot& slot = setup.Players[static_cast<std::size_t>(index)];
        if (!slot.Selected || record.DeliveredEarlier(index)) {
            const std::string line =
                slot.Selected ? CSendRecord::DeliveredEarlierLine(index) : PlayerPrefix(number) + "skipped\n";
            summary += line;
            detailed += line;
            progress->ShowResult(line);
        } else {
            progress->SetText("Sending to Player #" + std::to_string(number) + "...");
            bool sent = false;
            std::string reply;
            std::vector<AttachedFile> mailed;
            // Refused for what is known before connecting, in the words the check uses.
            const std::string refusal = PlayerRefusal(setup, index, turns);
            std::string result =
                refusal.empty() ? std::string() : PlayerPrefix(number) + "** ERROR: " + refusal + "\n";
            // A server that wants pauses between the mails gets them whole.
            if (result.empty() && setup.PauseAfterConnection <= 0)
                AnnounceFollowing(document, index, record, turns, session);
            if (result.empty())
                progress->RunWork([&] {
                    result = MailPlayer(document, slot.EmailAddress, index, session, &sent, &reply, &mailed);
                });
            result = PrintableLine(result);
            record.Add(setup, index, result, sent, reply, &mailed);
            if (!sent)
                ++outcome.Failed;
            summary += result;
            progress->ShowResult(result);
            detailed += result + "\t" + FormatLocalTime("%I:%M:%S %p") + " (" +
                        PrintableLine(slot.PlayerFile + " to " + slot.EmailAddress) + ")\n";
        }
        // Some servers throttle a burst of connections; the window stays live meanwhile.
        if (setup.PauseAfterConnection > 0) {
            session.BeforePause(setup.PauseAfterConnection);
            progress->PumpFor(setup.PauseAfterConnection);
        }
    }

    record.Finish(outcome, turns.Note);

    // Past the last player Cancel has nothing left to stop; the window says what still happens.
    progress->Finish(setup.EmailReport        ? "Sending the report..."
                     : setup.SaveReportToFile ? "Saving the report..."
                                              : "Done.");
    progress->PumpMessages();
    const std::string& body = setup.DetailedReport ? detailed : summary;
    if (setup.SaveReportToFile && !SaveReport(document, body, &outcome.ReportFileError))
        outcome.ReportFileFailed = true;
    if (setup.EmailReport) {
        ReportMailResult mailed;
        MailReport(document, ui, body, session, &mailed);
        if (!mailed.Delivered) {
            outcome.ReportMailFailed = true;
            outcome.ReportMailError = mailed.Error;
        }
    }
    session.ForgetRefusedPassword(ui);
    outcome.ReportFailed = outcome.ReportFileFailed || outcome.ReportMailFailed;
    outcome.Summary = std::move(summary);
    // The summary comes last, so that it can tell the host what became of the report and the ledger.
    if (!document.CommandLineRun && setup.DisplaySummary) {
        std::string shown = outcome.Summary;
        for (const std::string& notice : RunNotices(setup, outcome))
            shown += "\n" + notice + "\n";
        ui.ShowSummary(shown);
    }
    return outcome;
}

} // namespace

SendOutcome OnSend(GameDocument& document, IUserInterface& ui)
{
    return RunSend(document, ui, false);
}

SendOutcome OnResendFailed(GameDocument& document, IUserInterface& ui)
{
    return RunSend(document, ui, true);
}

} // namespace turnpost
