#include "send/SendRun.h"

#include "support/PythonSmtpServer.h"
#include "support/RecordingUserInterface.h"
#include "support/SampleSetup.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace turnpost {
namespace {

using namespace test;

// aiosmtpd announces SIZE 33554432: a player whose mail would pass it is told so and nothing of it is
// uploaded, and the next player is mailed over the same connection.
TEST(SizeLimitRun, AMailOverTheServerLimitIsNotSentAndTheNextPlayerIs)
{
    ScopedEnvironment password("TURNPOST_SMTP_PASSWORD", std::string("secret"));
    SmtpServerOptions options;
    options.Login = "alice:secret";
    options.AuthInClear = true; // loopback: the login makes the run speak EHLO
    PythonSmtpServer server(options);
    ASSERT_TRUE(server.IsRunning()) << server.Error();

    TempDir dir;
    GameDocument document;
    GameSetup& setup = document.Setup;
    setup = SampleSetup(server.Address(), 2);
    setup.SmtpUser = "alice";
    setup.SmtpTimeout = 10000;
    setup.CheckTurnFiles = 0; // made-up files without game headers
    setup.SendPlayerFile = 1;
    setup.Players[0].PlayerFile = dir.Write("alpha.m1", "");
    std::filesystem::resize_file(setup.Players[0].PlayerFile, 26'000'000); // sparse
    setup.Players[1].PlayerFile = dir.Write("alpha.m2", "turn of player 2");
    RecordingUserInterface ui{&document};
    ui.FillRows();
    const SendOutcome outcome = OnSend(document, ui);

    EXPECT_EQ(outcome.Summary.substr(0, outcome.Summary.find("[Player 3]")),
              "[Player 1] ** ERROR: not sent: the message is 35.6 MB, the server takes at most 33.5 MB\n"
              "[Player 2] Sent OK\n");
    const SmtpServerRecord record = server.Record();
    ASSERT_EQ(record.Messages.size(), 1u);
    EXPECT_EQ(record.Messages[0].To, std::vector<std::string>{"p2@example.org"});
    EXPECT_EQ(record.Logins.size(), 1u) << "one connection for both players";
    std::vector<std::string> mailFrom;
    for (const auto& line : record.Lines)
        if (line.Text.rfind("MAIL FROM:", 0) == 0)
            mailFrom.push_back(line.Text);
    ASSERT_EQ(mailFrom.size(), 1u) << "player 1's mail never began";
    EXPECT_NE(mailFrom[0].find(" SIZE="), std::string::npos) << mailFrom[0];
}

} // namespace
} // namespace turnpost
