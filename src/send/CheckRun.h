#pragma once

#include "send/PlayerAttempt.h"
#include "setup/GameSetup.h"

#include <string>
#include <vector>

namespace turnpost {

class IUserInterface;

/// What a check of the send run found: one line per selected player and one for the server.
struct CheckRunOutcome
{
    std::string Note; ///< the turn files were not checked, or nobody would be mailed
    /// Per selected player: Result is his line, Sent whether a real run would mail him; Subject is
    /// what his subject expands to.
    struct Player
    {
        PlayerAttempt Attempt;
        std::string Subject;
    };
    std::vector<Player> Players;
    std::string ServerLine;
    bool ServerReady = false;
    std::uint16_t Year = 0;

    /// Every selected player would be mailed.
    bool WouldMailEverybody() const;
    /// The note, the players' lines and the server's line, each ended by LF.
    std::string Text() const;
    /// One sentence on whether Send would mail every selected player.
    std::string Verdict() const;
};

/// Everything a send run does before it mails, mailing nobody: expands each selected player's
/// subject and text, reads and checks his files and his address, then connects to the server,
/// greets, starts TLS and logs in as the settings say, and leaves with QUIT and no MAIL.
CheckRunOutcome CheckSendRun(GameDocument& document, IUserInterface& ui);

} // namespace turnpost
