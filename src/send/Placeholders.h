#pragma once

#include "setup/GameSetup.h"

#include <cstdint>
#include <string>

namespace turnpost {

/// The game year from the host file's header: turn number + 2400, kept to 16 bits. 0 when the file
/// cannot be opened or is too short to hold the turn number.
std::uint16_t ReadGameYear(const std::string& hostFilePath);

/// The host file beside the universe file: the universe file's path without its last two characters,
/// followed by "hst". Nothing is checked.
std::string HostFilePath(const std::string& universeFile);

/// The value of "%G", "%Y" or "%P" as the document stands now; any other text comes back unchanged.
std::string GetPlaceholderValue(const std::string& code, const GameDocument& document);

/// A copy of text with every "%G", then every "%Y", then every "%P" replaced. Each pass runs over the
/// text as the previous passes left it, so codes inside the game name are expanded by the later
/// passes; within one pass the search resumes after the inserted value, so expansion always ends.
std::string ExpandPlaceholders(const std::string& text, const GameDocument& document);

} // namespace turnpost
