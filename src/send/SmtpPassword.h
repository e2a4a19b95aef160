#pragma once

#include "setup/GameSetup.h"

#include <optional>
#include <string>

namespace turnpost {

class IUserInterface;

/// The mail password for the setup's SmtpUser: from TURNPOST_SMTP_PASSWORD, else from the output of
/// SmtpPasswordCommand, else asked of the user. nullopt with error set when none can be had.
std::optional<std::string> ObtainSmtpPassword(const GameSetup& setup, IUserInterface& ui, std::string& error);

} // namespace turnpost
