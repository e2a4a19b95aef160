#pragma once

#include "game/GameFileHeader.h"

#include <string>
#include <string_view>

namespace turnpost {

/// What an order file's header says about taking it for the host file's current turn.
struct OrderCheck
{
    enum Verdict
    {
        Accepted,
        HostBusy,    ///< the host is generating the turn: the same file may be taken a little later
        NotOrders,   ///< no game file header, a file of another kind, or no player's
        OtherGame,   ///< another game id than the host file's
        OtherTurn,   ///< another turn than the host file's
        OtherPlayer, ///< the number in the file's name is not the header's player
    };
    Verdict verdict = NotOrders;
    /// The player the orders come from (0 to 15), once the header reads as an order file.
    int PlayerIndex = -1;
    /// Why the file is refused, in plain words; empty when it is accepted. It may hold the file's name
    /// as given: whoever shows it makes it printable.
    std::string Reason;
};

/// Checks the start of an order file (its 18-byte header is all that is read) against the header of
/// the host file, which the caller has read and found to be a host file. name is the file's name or
/// path; when its extension carries a number (".x7"), that number must be the header's player.
OrderCheck CheckOrderFile(std::string_view bytes, const std::string& name, const GameFileHeader& host);

} // namespace turnpost
