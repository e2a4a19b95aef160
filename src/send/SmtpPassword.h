#pragma once

#include "setup/GameSetup.h"

#include <optional>
#include <string>

namespace turnpost {

class IUserInterface;

/// The mail password for the setup's SmtpUser: from TURNPOST_SMTP_PASSWORD, else from the first line of
/// the output of SmtpPasswordCommand, else asked of the user. nullopt with error set when none can be
/// had. askedOfUser, when given, tells whether the answer came from the user interface.
/// commandFile names the setup file the command was read from: it then runs only when the user has
/// approved it for that file (or does so now, when the user interface asks). Empty for a command the
/// user typed himself. The command gets the setup's SMTP time-out, after which it is killed.
std::optional<std::string> ObtainSmtpPassword(const GameSetup& setup, IUserInterface& ui, std::string& error,
                                              bool* askedOfUser = nullptr,
                                              const std::string& commandFile = {});

/// The longest password line a command may give.
inline constexpr std::size_t MaxPasswordLine = 4096;

/// "user@server": what the user interface asks the password for, and what a keyring keeps it under.
std::string PasswordAccount(const GameSetup& setup);

} // namespace turnpost
