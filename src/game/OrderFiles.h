#pragma once

#include "game/GameFileHeader.h"

#include <array>
#include <cstdint>
#include <string>

namespace turnpost {

/// A player's order file beside the universe file: "galaxy.xy" gives "galaxy.x7" for index 6, the
/// name the host program looks for.
std::string OrderFilePath(const std::string& universeFile, int playerIndex);

/// The host file beside the universe file, read and found fit to judge orders against.
struct HostFileState
{
    bool Ok = false;
    /// Why orders cannot be judged now, naming the host file: it cannot be read, is not a host file,
    /// or the host is writing it ("PATH is in use").
    std::string Error;
    bool InUse = false;
    std::string Path;
    GameFileHeader Header;
};

HostFileState ReadHostFileState(const std::string& universeFile);

/// One player's order file in the game folder.
struct PlayerOrders
{
    bool In = false; ///< there, and this turn's orders of this player in this game
    bool Present = false;
    std::string Problem; ///< why a file that is there does not count, in plain words
};

/// Which players' orders for the host file's current turn are in the game folder, however they got
/// there.
struct OrdersInFolder
{
    HostFileState Host;
    std::uint16_t Year = 0;
    std::array<PlayerOrders, MaxPlayers> Players{};
};

OrdersInFolder FindOrdersInFolder(const std::string& universeFile);

} // namespace turnpost
