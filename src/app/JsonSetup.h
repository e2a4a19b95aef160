#pragma once

#include "setup/GameSetup.h"

#include <string>

namespace turnpost {

/// The setup as JSON: keys named as the fields, flags and times as integers (a flag read as 5 stays 5),
/// "Players" an array of sixteen objects.
std::string SetupToJson(const GameSetup& setup);

/// Reads JSON written by SetupToJson or by hand. Fields left out keep their fresh values; an unknown
/// field, a wrong type or an integer out of range is refused with the reason in error.
bool SetupFromJson(const std::string& text, GameSetup& setup, std::string& error);

} // namespace turnpost
