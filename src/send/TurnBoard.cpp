#include "send/TurnBoard.h"

#include "send/DeliveryLedger.h"
#include "send/PlayerVerdict.h"
#include "send/Reminders.h"
#include "send/TurnDeadline.h"

namespace turnpost {

std::string TurnBoard::Summary() const
{
    if (Year == 0)
        return {};
    std::string text =
        std::to_string(Year) + ": orders in " + std::to_string(OrdersIn) + " of " + std::to_string(Selected);
    if (!Deadline.empty())
        text += "; deadline " + Deadline;
    return text;
}

std::string TurnBoard::Text() const
{
    if (Year == 0)
        return {};
    std::string text = Summary() + "\n";
    for (int index = 0; index < PlayerCount; ++index) {
        const TurnBoardPlayer& player = Players[static_cast<std::size_t>(index)];
        if (!player.Selected)
            continue;
        const std::string prefix = PlayerPrefix(index + 1);
        std::string mail = player.Mail;
        if (mail.rfind(prefix, 0) == 0)
            mail.erase(0, prefix.size());
        text += prefix + (player.OrdersIn ? "orders in" : "no orders yet") + "; " +
                (mail.empty() ? "no turn mail yet" : "turn mail: " + mail) +
                (player.Reminded ? "; reminded" : "") + "\n";
    }
    return text;
}

TurnBoard GetTurnBoard(const GameDocument& document, const OrdersInFolder& orders,
                       std::chrono::sys_seconds now)
{
    TurnBoard board;
    const GameSetup& setup = document.Setup;
    if (!orders.Host.Ok)
        return board;
    board.Year = orders.Year;
    const LedgerContents ledger = ReadLedger(LedgerPath(document));
    for (int index = 0; index < PlayerCount; ++index) {
        TurnBoardPlayer& player = board.Players[static_cast<std::size_t>(index)];
        player.Selected = setup.Players[static_cast<std::size_t>(index)].Selected != 0;
        player.OrdersIn = orders.Players[static_cast<std::size_t>(index)].In;
        if (player.Selected) {
            ++board.Selected;
            board.OrdersIn += player.OrdersIn ? 1 : 0;
        }
    }
    // The ledger's lines are in the order they happened: the last of the year wins.
    for (const PlayerAttempt& attempt : ledger.Attempts) {
        if (attempt.Year != board.Year || attempt.Player < 1 || attempt.Player > PlayerCount)
            continue;
        TurnBoardPlayer& player = board.Players[static_cast<std::size_t>(attempt.Player - 1)];
        // Anyone may edit the ledger; what it says is shown only once made safe.
        player.Mail = PrintableLine(attempt.Result);
        player.Mailed = attempt.Sent;
    }
    const auto reminded = RemindedPlayers(ledger, board.Year);
    for (int index = 0; index < PlayerCount; ++index)
        board.Players[static_cast<std::size_t>(index)].Reminded = reminded[static_cast<std::size_t>(index)];
    if (const auto deadline = GetTurnDeadline(setup, ledger, board.Year))
        board.Deadline = FormatDeadline(*deadline) + " (" + TimeLeftText(*deadline, now) + ")";
    return board;
}

} // namespace turnpost
