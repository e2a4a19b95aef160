#pragma once

#include <cstdint>
#include <string>

namespace turnpost {

/// The host file beside the universe file: the universe file's path without its last two bytes,
/// followed by "hst". Nothing is checked.
std::string HostFilePath(const std::string& universeFile);

/// The game year from the host file's header: turn number + 2400, kept to 16 bits. 0 when the file
/// cannot be opened or is too short to hold the turn number.
std::uint16_t ReadGameYear(const std::string& hostFilePath);

} // namespace turnpost
