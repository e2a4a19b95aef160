#pragma once

#include "game/TurnCheck.h"
#include "setup/GameSetup.h"

namespace turnpost {

/// The setup asks for the checks.
bool TurnChecksWanted(const GameSetup& setup);

/// The turn checks for the files this setup's send attaches: the universe file when it is sent, and
/// each selected player's turn file when the player files are sent.
TurnCheck CheckGameFiles(const GameSetup& setup);

} // namespace turnpost
