#pragma once

#include "setup/GameSetup.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace turnpost {

class IUserInterface;

/// One order file found in the mailbox, and what became of it.
struct CollectedOrder
{
    enum Result
    {
        Taken,    ///< written into the game folder
        Replaced, ///< a newer message of the same collection brought this player's orders again
        Refused,  ///< the checks turned it away; Reason says why
    };
    Result result = Refused;
    int PlayerIndex = -1; ///< 0 to 15 once the header names a player
    std::string FileName; ///< as the message named it
    std::uint64_t Size = 0;
    std::string Sha256;
    std::string Sender;    ///< the address alone
    std::string MessageId; ///< without the angle brackets
    std::string Reason;    ///< in plain words, for the log and the reply
    std::uint32_t Uid = 0; ///< the message's UID in the collect folder
};

/// What a collection came to, for the exit status of command-line runs and the window.
struct CollectOutcome
{
    bool Ran = false; ///< the host file was read and the mailbox opened
    bool Cancelled = false;
    /// Why the collection stopped or a write failed (the mailbox, the login, the host file, the game
    /// folder); a run with an error has failed even where it took some orders.
    std::string Error;
    std::uint16_t Year = 0;
    std::vector<CollectedOrder> Orders;
    /// One line per message, in the order they were handled, and the closing summary ("Orders in: 5 of
    /// 7; missing: players 2, 6").
    std::vector<std::string> Lines;
    std::string Summary;
    /// Per player: his orders for this turn are in the game folder after the collection.
    std::array<bool, PlayerCount> OrdersIn{};

    bool Succeeded() const { return Ran && !Cancelled && Error.empty(); }
};

/// The Collect Orders command: takes this turn's order files from the setup's mailbox into the game
/// folder, files the messages away, acknowledges each sender when the setup says so, and records every
/// order in the ledger.
CollectOutcome OnCollect(GameDocument& document, IUserInterface& ui);

} // namespace turnpost
