#include "support/SampleSetup.h"

namespace turnpost::test {

GameSetup SampleSetup(const std::string& server, int players)
{
    GameSetup setup;
    setup.GameName = "Alpha";
    setup.SmtpServer = server;
    setup.ReturnAddress = "host@example.org";
    setup.MessageSubject = "%G for player %P";
    setup.MessageText = "Your turn.\n";
    for (int i = 0; i < players && i < PlayerCount; ++i)
        setup.Players[static_cast<std::size_t>(i)] = {1, "p" + std::to_string(i + 1) + "@example.org", ""};
    return setup;
}

} // namespace turnpost::test
