#pragma once

#include "send/TurnCheck.h"
#include "setup/GameSetup.h"

#include <string>

namespace turnpost {

/// Why an address cannot be mailed to, before any server is asked; empty when it can. The check and
/// the send run both ask this, so they cannot disagree.
std::string AddressProblem(const std::string& address);

/// Why the selected player of slot index is not to be mailed, as far as can be told before anybody
/// is connected: the turn checks' refusal, else his address's problem; empty when he may be mailed.
/// What only reading his files or the server can tell comes from there, in the same words.
std::string PlayerRefusal(const GameSetup& setup, int index, const TurnCheck& turns);

/// "[Player 3] ": how every line about player 3 begins (number 1 to 16).
std::string PlayerPrefix(int number);

/// A player's line as it may reach a terminal, a report and the ledger: whatever of it came from
/// outside (a file name, an address, a command's or a server's words) with its control characters
/// shown as '?'; a line end it had stays.
std::string PrintableLine(const std::string& line);

/// The refusal of an address that needs SMTPUTF8 by a server that does not offer it.
std::string SmtpUtf8Refusal(const std::string& address);

} // namespace turnpost
