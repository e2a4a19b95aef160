#include "send/TurnCheck.h"

namespace turnpost {

static_assert(PlayerCount == MaxPlayers, "a setup has one slot for each player a game can have");

bool TurnChecksWanted(const GameSetup& setup)
{
    return setup.CheckTurnFiles != 0;
}

TurnCheck CheckGameFiles(const GameSetup& setup)
{
    GameFilesToCheck files;
    files.UniverseFile = setup.UniverseFile;
    files.AttachesUniverse = setup.SendUniverseFile && !setup.UniverseFile.empty();
    for (std::size_t index = 0; index < setup.Players.size(); ++index) {
        const PlayerSlot& slot = setup.Players[index];
        files.Players[index].Mailed = slot.Selected != 0;
        if (slot.Selected && setup.SendPlayerFile)
            files.Players[index].TurnFile = slot.PlayerFile;
    }
    return CheckTurnFiles(files);
}

} // namespace turnpost
