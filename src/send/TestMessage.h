#pragma once

#include "setup/GameSetup.h"

#include <string>

namespace turnpost {

class IUserInterface;

/// Mails a short message to the setup's return address with its mail settings (server, security,
/// login; the password is obtained as a send run obtains it), so the host can check them before a
/// turn is due. Returns the outcome line: "Test message sent to ADDRESS." or "** ERROR: " and why.
/// commandFile: the setup file the password command was read from, which must be approved before the
/// command runs, as for a send; empty for a command the user typed.
std::string SendTestMessage(const GameSetup& setup, IUserInterface& ui, const std::string& commandFile = {});

} // namespace turnpost
