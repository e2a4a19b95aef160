#pragma once

#include "game/GameFileHeader.h"

#include <array>
#include <string>

namespace turnpost {

/// The game files a send attaches, as far as the checks need them.
struct GameFilesToCheck
{
    /// The universe file; the host file lies beside it.
    std::string UniverseFile;
    /// The universe file goes with every player's mail.
    bool AttachesUniverse = false;

    struct Player
    {
        bool Mailed = false;
        /// The turn file attached to his mail; empty when none is.
        std::string TurnFile;
    };
    std::array<Player, MaxPlayers> Players{};
};

/// What the headers of the game's files say about mailing each player, found before anybody is
/// mailed: a player must never get last year's turn, another game's or another player's.
struct TurnCheck
{
    /// Said once, before the players' lines: why the files could not be checked, or why nobody is
    /// mailed. Empty when the checks ran and the host file is idle.
    std::string Note;
    /// The host file is being written (a turn generation may be running): nobody is mailed.
    bool MailNobody = false;
    /// Per slot, the error text that refuses the player (what follows "** ERROR: "); empty when he
    /// may be mailed.
    std::array<std::string, MaxPlayers> Refusals{};

    /// "[Player N] ** ERROR: ..." and LF for a refused player, empty for one who may be mailed.
    std::string RefusalLine(int index) const;
};

/// Reads the host file's header, then the universe file's when it is attached and each mailed
/// player's turn file's, and compares them with the host file: type, game id, turn and player. A host
/// file that is missing, has no header or is not a host file leaves every player free, with a note
/// saying the files were not checked; a send that attaches no game file gets no note at all.
TurnCheck CheckTurnFiles(const GameFilesToCheck& files);

} // namespace turnpost
