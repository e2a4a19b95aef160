#pragma once

#include "setup/GameSetup.h"

#include <optional>
#include <string>

namespace turnpost {

class IUserInterface;

/// The mail password for the setup's SmtpUser: from TURNPOST_SMTP_PASSWORD, else from the output of
/// SmtpPasswordCommand, else asked of the user. nullopt with error set when none can be had.
/// askedOfUser, when given, tells whether the answer came from the user interface.
std::optional<std::string> ObtainSmtpPassword(const GameSetup& setup, IUserInterface& ui, std::string& error,
                                              bool* askedOfUser = nullptr);

/// "user@server": what the user interface asks the password for, and what a keyring keeps it under.
std::string PasswordAccount(const GameSetup& setup);

} // namespace turnpost
