#include "send/Reminders.h"

#include "game/OrderFiles.h"
#include "mail/MailMessage.h"
#include "platform/UserInterface.h"
#include "send/ConnectionSettings.h"
#include "send/Placeholders.h"
#include "send/PlayerVerdict.h"
#include "send/RunLock.h"
#include "send/SendSession.h"
#include "send/TurnDeadline.h"
#include "send/TurnDone.h"

#include <algorithm>

namespace turnpost {

bool RemindedThisYear(const LedgerContents& ledger, int player, std::uint16_t year)
{
    return std::any_of(ledger.Reminders.begin(), ledger.Reminders.end(), [&](const ReminderRecord& reminder) {
        return reminder.Sent && reminder.Player == player && reminder.Year == year;
    });
}

std::array<bool, PlayerCount> RemindedPlayers(const LedgerContents& ledger, std::uint16_t year)
{
    std::array<bool, PlayerCount> reminded{};
    for (int index = 0; index < PlayerCount; ++index)
        reminded[static_cast<std::size_t>(index)] = RemindedThisYear(ledger, index + 1, year);
    return reminded;
}

std::string ExpandReminderText(const std::string& text, const GameDocument& document)
{
    if (text.find("%D") == std::string::npos || GetTurnDeadline(document))
        return ExpandPlaceholders(text, document);
    std::string kept;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(start, end - start);
        if (line.find("%D") == std::string::npos)
            kept += line;
        start = end;
    }
    return ExpandPlaceholders(kept, document);
}

namespace {

/// Why reminders are not due yet at now, or empty when they are. A deadline that has passed still
/// lets them go: the turn is not generated yet, late orders still count, and a host who waits for
/// them wants the latecomers told; each player still gets one reminder a year.
std::string NotDueYet(const GameSetup& setup, const LedgerContents& ledger, std::uint16_t year,
                      std::chrono::sys_seconds now)
{
    if (setup.TurnDeadlineHours <= 0)
        return {};
    const auto deadline = GetTurnDeadline(setup, ledger, year);
    // The deadline counts from the first turn mail of the year; before it nobody has this turn to
    // send orders for.
    if (!deadline)
        return "Reminders not due yet: no turn mail for " + std::to_string(year) +
               " has gone out, so the deadline has not begun";
    const std::chrono::hours before{std::max(setup.RemindHoursBefore, 0)};
    if (*deadline - now < before)
        return {};
    return "Reminders not due yet: the deadline is " + FormatDeadline(*deadline) + " (" +
           TimeLeftText(*deadline, now) + ")";
}

} // namespace

RemindOutcome OnRemind(GameDocument& document, IUserInterface& ui, const RemindOptions& options)
{
    RemindOutcome outcome;
    ui.View().GatherRows();
    const GameSetup& setup = document.Setup;
    if (setup.UniverseFile.empty()) {
        outcome.Error = "Nobody reminded: no universe file is set";
        return outcome;
    }
    CRunLock runLock;
    if (runLock.Take(document) == CRunLock::Result::HeldElsewhere) {
        outcome.Error = document.FilePath + " is being sent by another run";
        return outcome;
    }
    const OrdersInFolder orders = FindOrdersInFolder(setup.UniverseFile);
    if (!orders.Host.Ok) {
        outcome.Error = "Nobody reminded: " + orders.Host.Error;
        return outcome;
    }
    outcome.Year = orders.Year;
    // Under the lock, so that a second run cannot remind the same players meanwhile.
    const LedgerContents ledger = ReadLedger(LedgerPath(document));
    if (!ledger.Error.empty()) {
        outcome.Error = "Nobody reminded: " + ledger.Error;
        return outcome;
    }
    outcome.LedgerWarnings = ledger.Warnings;
    if (!options.Force) {
        outcome.NotDue = NotDueYet(setup, ledger, outcome.Year, options.Now);
        if (!outcome.NotDue.empty())
            return outcome;
    }

    // Who is due, and what stops all of them before any connection.
    std::vector<int> due;
    for (int index = 0; index < PlayerCount; ++index) {
        const PlayerSlot& slot = setup.Players[static_cast<std::size_t>(index)];
        if (slot.Selected && !orders.Players[static_cast<std::size_t>(index)].In &&
            (options.Force || !RemindedThisYear(ledger, index + 1, outcome.Year)))
            due.push_back(index);
    }
    std::string refusal;
    if (setup.SmtpServer.empty())
        refusal = "no SMTP server specified";
    else if (setup.ReturnAddress.empty())
        refusal = "no return address";

    CDeliveryLedger record(document);
    // Asked only when someone is to be mailed.
    const ConnectionSettings connection =
        ConnectionSettings::ForRun(document, ui, !due.empty() && refusal.empty());
    CSendSession session(connection);
    const auto progress = ui.CreateProgressWindow("Status");
    progress->SetRange(PlayerCount, 1);
    progress->SetText("Reminding...");
    progress->PumpMessages();

    for (int index = 0; index < PlayerCount; ++index) {
        const int number = index + 1;
        const PlayerSlot& slot = setup.Players[static_cast<std::size_t>(index)];
        progress->StepIt();
        progress->PumpMessages();
        if (!slot.Selected)
            continue;
        std::string line = PlayerPrefix(number);
        if (orders.Players[static_cast<std::size_t>(index)].In) {
            line += "orders in";
        } else if (std::find(due.begin(), due.end(), index) == due.end()) {
            line += "already reminded this year";
        } else if (outcome.Cancelled || progress->IsCancelled()) {
            outcome.Cancelled = true;
            ++outcome.Failed;
            line += "not sent: cancelled";
        } else {
            std::string error = refusal.empty() ? AddressProblem(slot.EmailAddress) : refusal;
            bool sent = false;
            if (error.empty()) {
                document.CurrentPlayerNumber = number;
                CMailMessage message;
                message.From = CMailAddress::FromMailbox(setup.ReturnAddress);
                message.AddRecipient(CMailAddress::FromMailbox(slot.EmailAddress));
                message.Subject = ExpandPlaceholders(setup.ReminderSubject, document);
                message.SetBody(ExpandReminderText(setup.ReminderText, document));
                progress->SetText("Reminding Player #" + std::to_string(number) + "...");
                progress->RunWork(
                    [&] { sent = session.Deliver(message, error, "Player " + std::to_string(number)); });
            }
            line += sent ? "reminded " + slot.EmailAddress : "not sent: " + error;
            // The address and the server's words came from outside.
            line = PrintableLine(line);
            const ReminderRecord reminder{LedgerTime(options.Now), outcome.Year, number,
                                          slot.EmailAddress,       line,         sent};
            record.RecordReminder(reminder);
            outcome.Reminders.push_back(reminder);
            if (!sent)
                ++outcome.Failed;
        }
        line = PrintableLine(line);
        outcome.Lines.push_back(line);
        progress->ShowResult(line + "\n");
    }
    session.Close();
    session.ForgetRefusedPassword(ui);
    document.CurrentPlayerNumber = 0;
    progress->Finish("Done.");
    outcome.LedgerError = record.Error();
    return outcome;
}

} // namespace turnpost
