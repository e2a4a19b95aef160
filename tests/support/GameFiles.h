#pragma once

#include "support/TempDir.h"

#include <cstdint>
#include <string>

namespace turnpost::test {

/// What a made-up game file's header says.
struct GameFileFacts
{
    std::uint32_t GameId = 0x5EA5011;
    std::uint16_t Turn = 42;
    int PlayerIndex = 0;
    int FileType = 3; ///< 0 universe, 2 host, 3 turn
    std::uint8_t Flags = 0;
    std::size_t Size = 40; ///< the whole file, header included; fewer than 18 bytes makes it headerless
};

/// The bytes of a game file with that header (a few salt bits above the player index, as the game
/// writes them) followed by filler.
std::string GameFileBytes(const GameFileFacts& facts);

/// A consistent game in dir: NAME.xy (universe), NAME.hst (host, turn 42) and NAME.m1 to NAME.mN.
/// Returns the universe file's path.
std::string WriteConsistentGame(const TempDir& dir, const std::string& name, int players);

/// NAME.xN in dir: the orders of player number (1 to 16) for turn, the consistent game's by default.
std::string WriteOrders(const TempDir& dir, const std::string& name, int number, std::uint16_t turn = 42);

} // namespace turnpost::test
