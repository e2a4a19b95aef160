#pragma once

#include "game/GameFileHeader.h"

#include <array>
#include <functional>
#include <string>

namespace turnpost {

/// The turn files that lie beside a universe file, by player slot: "war.xy" has "war.m1" to "war.m16".
/// The universe file's last two characters give way to "m" and the player's number, whatever they are;
/// they are counted in characters, not bytes, so a name ending in non-ASCII letters is not cut inside a
/// letter. A slot whose file exists says not is empty.
std::array<std::string, MaxPlayers> TurnFilesBeside(const std::string& universeFile,
                                                    const std::function<bool(const std::string&)>& exists);

} // namespace turnpost
