#include "send/TestMessage.h"
#include "platform/Files.h"
#include "support/RecordingUserInterface.h"
#include "support/ScopedEnvironment.h"
#include "support/ScriptedSmtpPeer.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::ParseMails;
using test::RecordingUserInterface;
using test::ScriptedSmtpPeer;
using test::SmtpSink;
using test::TempDir;

TEST(TestMessage, GoesToTheReturnAddressWithTheSettingsGiven)
{
    SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    GameSetup setup;
    setup.GameName = "Andromeda";
    setup.SmtpServer = sink.Address();
    setup.ReturnAddress = "host@example.org";
    RecordingUserInterface ui;

    EXPECT_EQ(SendTestMessage(setup, CommandSource::Typed(), ui), "Test message sent to host@example.org.");
    const auto dumped = sink.WaitForMessages(1);
    ASSERT_EQ(dumped.size(), 1u);
    const auto mails = ParseMails(dumped);
    ASSERT_TRUE(mails[0].Ok) << mails[0].Error;
    EXPECT_EQ(mails[0].EnvelopeFrom, "<host@example.org>");
    EXPECT_EQ(mails[0].EnvelopeTo, std::vector<std::string>{"<host@example.org>"});
    EXPECT_EQ(mails[0].Subject, "Turnpost test message");
    EXPECT_NE(mails[0].Text.find("Andromeda"), std::string::npos);
    EXPECT_TRUE(mails[0].Defects.empty());
    // The mailing ran through the progress window's work hook, which the console runs in place.
    ASSERT_EQ(ui.Progress.size(), 1u);
    EXPECT_EQ(ui.Progress[0].Texts.front(), "Sending a test message to host@example.org...");
}

TEST(TestMessage, FailuresAreTheOutcomeLine)
{
    ScriptedSmtpPeer refusing;
    refusing.Send("220 peer ready\r\n")
        .On("HELO ", "250 peer\r\n")
        .On("MAIL FROM:<", "550 5.7.1 not from you\r\n")
        .On("QUIT", "221 bye\r\n");
    refusing.Start();

    const struct
    {
        const char* what;
        std::string server;
        std::string returnAddress;
        std::string user;
        std::string expected;
    } cases[] = {
        {"no server", "", "host@example.org", "", "** ERROR: No SMTP server specified"},
        {"no return address", "127.0.0.1:1", "", "",
         "** ERROR: No return address to send the test message to"},
        {"the server's refusal in its own words", refusing.Address(), "host@example.org", "",
         "** ERROR: 550 5.7.1 not from you"},
        // Asked as a send run asks; refused, nothing is tried.
        {"no password", "127.0.0.1:1", "host@example.org", "host", "** ERROR: No password"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        GameSetup setup;
        setup.SmtpServer = c.server;
        setup.ReturnAddress = c.returnAddress;
        setup.SmtpUser = c.user;
        RecordingUserInterface ui;
        const std::string outcome = SendTestMessage(setup, CommandSource::Typed(), ui);
        EXPECT_EQ(outcome.substr(0, c.expected.size()), c.expected) << outcome;
        EXPECT_EQ(ui.PasswordAccounts.size(), c.user.empty() ? 0u : 1u);
    }
    refusing.Wait();
}

TEST(TestMessage, PasswordCommandFromASetupFileRunsOnlyOnceApproved)
{
    TempDir dir;
    // The approval goes to a store of the test's own, never the user's.
    test::ScopedEnvironment config("XDG_CONFIG_HOME", dir.File("config"));
    const std::string marker = dir.File("ran");
    GameSetup setup;
    setup.SmtpServer = "127.0.0.1:1";
    setup.ReturnAddress = "host@example.org";
    setup.SmtpUser = "host";
    setup.SmtpPasswordCommand = "touch '" + marker + "'; echo secret";
    const std::string setupFile = dir.File("game.tpf");

    RecordingUserInterface declining;
    EXPECT_EQ(SendTestMessage(setup, CommandSource{setupFile}, declining).rfind("** ERROR: ", 0), 0u);
    EXPECT_EQ(declining.CommandQuestions,
              std::vector<std::string>{setup.SmtpPasswordCommand + "|" + setupFile});
    EXPECT_FALSE(FileExists(marker)) << "the command ran without approval";

    RecordingUserInterface approving;
    approving.CommandApprovals = {true};
    SendTestMessage(setup, CommandSource{setupFile}, approving);
    EXPECT_TRUE(FileExists(marker));
}

} // namespace
} // namespace turnpost
