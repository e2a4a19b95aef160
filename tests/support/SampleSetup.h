#pragma once

#include "setup/GameSetup.h"

#include <string>

namespace turnpost::test {

/// The setup most send tests start from: game "Alpha" mailed from host@example.org with the subject
/// "%G for player %P" and the text "Your turn.", to server, with the first players slots selected
/// for p1@example.org, p2@example.org, ... (no files). A test sets what it is about on top.
GameSetup SampleSetup(const std::string& server, int players = 3);

} // namespace turnpost::test
