#pragma once

#include "collect/ImapSettings.h"
#include "send/SmtpPassword.h"
#include "setup/CommandApproval.h"
#include "setup/GameSetup.h"

#include <optional>
#include <string>

namespace turnpost {

class IUserInterface;
struct SecretDestination;

/// Where the document's mailbox password command came from (see CommandSource::Of).
CommandSource CollectCommandSource(const GameDocument& document);

/// The mailbox password (or OAuth2 token) for CollectUser: from TURNPOST_IMAP_PASSWORD, else from the
/// approved CollectPasswordCommand, else asked of the user. nullopt with error set when none can be
/// had.
std::optional<std::string> ObtainImapPassword(const GameSetup& setup, const CommandSource& source,
                                              IUserInterface& ui, std::string& error,
                                              bool* askedOfUser = nullptr);

/// The account the password is asked and kept for.
std::string ImapPasswordAccount(const GameSetup& setup);

/// The setup's mailbox settings with the secret to log in with.
ImapSettings CollectSettings(const GameSetup& setup, std::string secret);

} // namespace turnpost
