#pragma once

#include "game/OrderFiles.h"
#include "send/DeliveryLedger.h"
#include "setup/GameSetup.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace turnpost {

class IUserInterface;

/// Whether the current turn may be generated: every selected player's orders are in, or the deadline
/// has passed.
struct TurnDoneState
{
    bool Done = false;
    bool AllIn = false;
    bool DeadlinePassed = false;
    /// The selected players (numbers, ascending) whose orders for Year are not in.
    std::vector<int> Missing;
    std::uint16_t Year = 0;
    std::optional<std::chrono::sys_seconds> Deadline;
    /// Why it cannot be told (no host file, the host file in use, an unreadable ledger that holds the
    /// deadline); the other members then mean nothing.
    std::string Error;
};

/// The state from what the caller has read: the orders in the game folder and the ledger.
TurnDoneState GetTurnDone(const GameSetup& setup, const OrdersInFolder& orders, const LedgerContents& ledger,
                          std::chrono::sys_seconds now);
/// The same for the document's game folder and ledger as they are now.
TurnDoneState GetTurnDone(const GameDocument& document, std::chrono::sys_seconds now);

/// "player 2", "players 2 and 6", "players 2, 5 and 6".
std::string PlayersText(const std::vector<int>& numbers);

/// One line for the host: "All orders for 2442 are in", "The deadline passed (...); missing: players 2
/// and 6", "Waiting for players 2 and 6; deadline ...".
std::string TurnDoneText(const TurnDoneState& state, std::chrono::sys_seconds now);

/// The notice's subject: "Galaxy 2442: all orders are in" or "Galaxy 2442: the deadline passed; missing:
/// players 2 and 6".
std::string NoticeSubject(const GameSetup& setup, const TurnDoneState& state);

/// A notice for year went out.
bool NoticeSentThisYear(const LedgerContents& ledger, std::uint16_t year);

/// What became of the notice.
struct NoticeOutcome
{
    bool Sent = false;
    /// Why a notice that was due did not go; the next check tries again.
    std::string Error;
};

/// Mails the host (the report address) that the turn is done, when the setup asks for it, the turn is
/// done and no notice for this year went out yet; the ledger records it. Nothing happens without a
/// report address or for a setup never saved (it has no ledger to remember the notice by).
NoticeOutcome NotifyHostIfDone(GameDocument& document, IUserInterface& ui, const TurnDoneState& state,
                               std::chrono::sys_seconds now);

/// A ledger time ("2024-05-01T18:30:00Z") for now.
std::string LedgerTime(std::chrono::sys_seconds now);

} // namespace turnpost
