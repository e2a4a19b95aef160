#pragma once

#include "setup/GameSetup.h"

#include <string>

namespace turnpost {

class IUserInterface;

/// Mails the host (the setup's report address) one plain message over a connection of its own, with
/// a progress window titled title. False with the reason in error: no report address, no server, no
/// return address, or what the server said.
bool MailHost(GameDocument& document, IUserInterface& ui, const std::string& title,
              const std::string& subject, const std::string& body, std::string& error);

} // namespace turnpost
