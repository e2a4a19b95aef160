#pragma once

#include "setup/GameSetup.h"

#include <string>

namespace turnpost {

/// The value of "%G", "%Y", "%P" or "%D" (the turn's deadline, empty without one) as the document stands now;
/// any other text comes back unchanged.
std::string GetPlaceholderValue(const std::string& code, const GameDocument& document);

/// A copy of text with every "%G", then every "%Y", then every "%P", then every "%D" replaced. Each pass runs
/// over the text as the previous passes left it, so codes inside the game name are expanded by the later
/// passes; within one pass the search resumes after the inserted value, so expansion always ends.
std::string ExpandPlaceholders(const std::string& text, const GameDocument& document);

} // namespace turnpost
