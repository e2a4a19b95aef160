#pragma once

#include "send/SmtpPassword.h"
#include "setup/GameSetup.h"

#include <string>

namespace turnpost {

class IUserInterface;

/// Mails a short message to the setup's return address with its mail settings (server, security,
/// login; the password is obtained as a send run obtains it), so the host can check them before a
/// turn is due. Returns the outcome line: "Test message sent to ADDRESS." or "** ERROR: " and why.
/// source: where the password command came from; one read from a setup file must be approved before it
/// runs, as for a send.
std::string SendTestMessage(const GameSetup& setup, const CommandSource& source, IUserInterface& ui);

} // namespace turnpost
