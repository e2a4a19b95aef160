#pragma once

#include "game/OrderFiles.h"
#include "setup/GameSetup.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

namespace turnpost {

/// One player's place in the turn, as the window shows it beside his row.
struct TurnBoardPlayer
{
    bool Selected = false;
    /// His last turn mail of the year as the ledger has it ("Player 3: sent to ..."); empty when none.
    std::string Mail;
    bool Mailed = false; ///< that mail went out
    bool OrdersIn = false;
    bool Reminded = false; ///< a reminder went out to him this year
};

/// Where the current turn stands: who was mailed, whose orders are in, who was reminded, and the
/// deadline. Read from the ledger and the game folder; it never hashes a file, so it is cheap enough
/// to refresh while the host types.
struct TurnBoard
{
    std::uint16_t Year = 0; ///< 0 when the host file cannot be read
    int Selected = 0;
    int OrdersIn = 0; ///< of the selected players
    /// "Mon 14 Dec 2026 18:00 UTC (2 days 5 hours left)"; empty without a deadline.
    std::string Deadline;
    std::array<TurnBoardPlayer, PlayerCount> Players{};

    /// "2442: orders in 2 of 4; deadline Mon 14 Dec 2026 18:00 UTC (2 days 5 hours left)".
    std::string Summary() const;
    /// The summary, then a line per selected player: "[Player 3] no orders yet; turn mail: Sent OK
    /// (...); reminded".
    std::string Text() const;
};

/// The board for the document's setup and ledger, given what the game folder holds and the time now.
TurnBoard GetTurnBoard(const GameDocument& document, const OrdersInFolder& orders,
                       std::chrono::sys_seconds now);

} // namespace turnpost
