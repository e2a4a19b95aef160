#pragma once

#include "setup/GameSetup.h"

#include <string>
#include <vector>

namespace turnpost {

/// The setup's additional files, one entry per non-empty line of AdditionalFiles, in their order.
std::vector<std::string> AdditionalFileList(const GameSetup& setup);

/// Sets AdditionalFiles from a list. An entry cannot hold a line break (it would become two entries):
/// false, naming the entry in error, leaves the setup unchanged.
bool SetAdditionalFileList(GameSetup& setup, const std::vector<std::string>& files, std::string& error);

/// The path of an additional file for the player with that number: "%P" becomes the number.
std::string AdditionalFileForPlayer(const std::string& path, int playerNumber);

/// What the player with that number gets after his turn and universe files: the additional files,
/// each expanded for him, when SendAdditionalFiles is on; none otherwise.
std::vector<std::string> AdditionalFilesForPlayer(const GameSetup& setup, int playerNumber);

} // namespace turnpost
