#include "send/TurnDone.h"

#include "platform/Clock.h"
#include "platform/UserInterface.h"
#include "send/HostMail.h"
#include "send/RunLock.h"
#include "send/TurnDeadline.h"

namespace turnpost {

TurnDoneState GetTurnDone(const GameSetup& setup, const OrdersInFolder& orders, const LedgerContents& ledger,
                          std::chrono::sys_seconds now)
{
    TurnDoneState state;
    if (!orders.Host.Ok) {
        state.Error = orders.Host.Error;
        return state;
    }
    state.Year = orders.Year;
    for (int index = 0; index < PlayerCount; ++index)
        if (setup.Players[static_cast<std::size_t>(index)].Selected &&
            !orders.Players[static_cast<std::size_t>(index)].In)
            state.Missing.push_back(index + 1);
    state.AllIn = state.Missing.empty();
    // Only a missing order makes the deadline matter; then a ledger that cannot be read hides it.
    if (!state.AllIn && setup.TurnDeadlineHours > 0 && !ledger.Error.empty()) {
        state.Error = ledger.Error;
        return state;
    }
    state.Deadline = GetTurnDeadline(setup, ledger, state.Year);
    state.DeadlinePassed = state.Deadline && *state.Deadline <= now;
    state.Done = state.AllIn || state.DeadlinePassed;
    return state;
}

TurnDoneState GetTurnDone(const GameDocument& document, std::chrono::sys_seconds now)
{
    if (document.Setup.UniverseFile.empty()) {
        TurnDoneState state;
        state.Error = "no universe file is set";
        return state;
    }
    return GetTurnDone(document.Setup, FindOrdersInFolder(document.Setup.UniverseFile),
                       ReadLedger(LedgerPath(document)), now);
}

std::string PlayersText(const std::vector<int>& numbers)
{
    std::string text = numbers.size() == 1 ? "player " : "players ";
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0)
            text += i + 1 == numbers.size() ? " and " : ", ";
        text += std::to_string(numbers[i]);
    }
    return text;
}

std::string TurnDoneText(const TurnDoneState& state, std::chrono::sys_seconds now)
{
    const std::string year = std::to_string(state.Year);
    if (state.AllIn)
        return "All orders for " + year + " are in";
    if (state.DeadlinePassed)
        return "The deadline passed (" + FormatDeadline(*state.Deadline) + ", " +
               TimeLeftText(*state.Deadline, now) + "); missing: " + PlayersText(state.Missing);
    std::string text = "Waiting for " + PlayersText(state.Missing);
    if (state.Deadline)
        text +=
            "; deadline " + FormatDeadline(*state.Deadline) + " (" + TimeLeftText(*state.Deadline, now) + ")";
    return text;
}

std::string NoticeSubject(const GameSetup& setup, const TurnDoneState& state)
{
    std::string subject = setup.GameName.empty() ? "" : setup.GameName + " ";
    subject += std::to_string(state.Year) + ": ";
    if (state.AllIn)
        return subject + "all orders are in";
    return subject + "the deadline passed; missing: " + PlayersText(state.Missing);
}

bool NoticeSentThisYear(const LedgerContents& ledger, std::uint16_t year)
{
    for (const NoticeRecord& notice : ledger.Notices)
        if (notice.Sent && notice.Year == year)
            return true;
    return false;
}

std::string LedgerTime(std::chrono::sys_seconds now)
{
    return FormatUtcTime("%Y-%m-%dT%H:%M:%SZ", std::chrono::system_clock::to_time_t(now));
}

NoticeOutcome NotifyHostIfDone(GameDocument& document, IUserInterface& ui, const TurnDoneState& state,
                               std::chrono::sys_seconds now)
{
    NoticeOutcome outcome;
    const GameSetup& setup = document.Setup;
    if (!state.Done || !state.Error.empty() || !setup.NotifyHostWhenDone || setup.ReportAddress.empty() ||
        LedgerPath(document).empty())
        return outcome;
    const auto fail = [&](const std::string& why) {
        outcome.Error = "The host was not told that the turn is done: " + why;
        return outcome;
    };
    // Two checks at once (cron and the window) must not both mail it.
    CRunLock lock;
    if (lock.Take(document) == CRunLock::Result::HeldElsewhere)
        return fail(document.FilePath + " is being sent by another run");
    const LedgerContents ledger = ReadLedger(LedgerPath(document));
    if (!ledger.Error.empty())
        return fail(ledger.Error);
    if (NoticeSentThisYear(ledger, state.Year))
        return outcome;
    const std::string subject = NoticeSubject(setup, state);
    std::string error;
    outcome.Sent = MailHost(document, ui, "Status", subject, TurnDoneText(state, now) + "\r\n", error);
    // A notice that could not even be tried (no server, no return address) is not recorded.
    if (!outcome.Sent && (setup.SmtpServer.empty() || setup.ReturnAddress.empty()))
        return fail(error);

    CDeliveryLedger record(document);
    record.RecordNotice({LedgerTime(now), state.Year, subject, outcome.Sent});
    if (!outcome.Sent)
        return fail(error);
    if (!record.Error().empty())
        outcome.Error = "The delivery ledger could not be written: " + record.Error();
    return outcome;
}

} // namespace turnpost
