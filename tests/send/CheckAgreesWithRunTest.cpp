#include "send/CheckRun.h"
#include "send/SendRun.h"

#include "support/GameFiles.h"
#include "support/PythonSmtpServer.h"
#include "support/RecordingUserInterface.h"
#include "support/SampleSetup.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace turnpost {
namespace {

using test::PythonSmtpServer;
using test::RecordingUserInterface;
using test::SmtpServerOptions;
using test::TempDir;

// The check must say of each player what the send then does to him: the same line after "[Player N]",
// and nobody mailed whom the check refuses. Each case sets up player 2; player 1 is always fine.
TEST(CheckAgreesWithRun, SameVerdictPerPlayerAndNoMailForTheRefused)
{
    SmtpServerOptions options; // offers no SMTPUTF8
    PythonSmtpServer server(options);
    ASSERT_TRUE(server.IsRunning()) << server.Error();

    struct Case
    {
        const char* name;
        bool turnChecks;
        void (*set)(const TempDir&, GameSetup&);
        const char* problem; // what player 2's line says; null when he is mailed
    };
    const Case cases[] = {
        {"all well", true, [](const TempDir&, GameSetup&) {}, nullptr},
        {"empty address", true, [](const TempDir&, GameSetup& s) { s.Players[1].EmailAddress = " "; },
         "no e-mail address"},
        {"address over 254 bytes", true,
         [](const TempDir&, GameSetup& s) {
             s.Players[1].EmailAddress = std::string(300, 'a') + "@example.org";
         },
         "Invalid e-mail address: 312 bytes, more than the 254 mail allows: aaaa"},
        {"address that needs SMTPUTF8", true,
         [](const TempDir&, GameSetup& s) { s.Players[1].EmailAddress = "jörg@example.org"; },
         "not sent: the address jörg@example.org needs SMTPUTF8, which the server does not offer"},
        {"turn file too large", false,
         [](const TempDir& dir, GameSetup& s) {
             s.Players[1].PlayerFile = dir.File("huge.m2");
             const int fd = ::open(s.Players[1].PlayerFile.c_str(), O_WRONLY | O_CREAT, 0600);
             EXPECT_EQ(::ftruncate(fd, (257LL << 20)), 0);
             ::close(fd);
         },
         "File too large to mail (over 256 MiB): "},
        {"turn file a FIFO, checks on", true,
         [](const TempDir& dir, GameSetup& s) {
             s.Players[1].PlayerFile = dir.File("fifo.m2");
             EXPECT_EQ(::mkfifo(s.Players[1].PlayerFile.c_str(), 0600), 0);
         },
         "Could not open file: "},
        {"turn file a FIFO, checks off", false,
         [](const TempDir& dir, GameSetup& s) {
             s.Players[1].PlayerFile = dir.File("fifo.m2");
             EXPECT_EQ(::mkfifo(s.Players[1].PlayerFile.c_str(), 0600), 0);
         },
         "Could not open file: "},
        {"turn file of last year", true,
         [](const TempDir& dir, GameSetup& s) {
             test::GameFileFacts facts;
             facts.Turn = 41;
             facts.PlayerIndex = 1;
             s.Players[1].PlayerFile = dir.Write("old.m2", test::GameFileBytes(facts));
         },
         "is for 2441, the host file is at 2442"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        GameDocument document;
        GameSetup& setup = document.Setup;
        setup = test::SampleSetup(server.Address(), 0);
        setup.SmtpTimeout = 5000;
        setup.CheckTurnFiles = c.turnChecks ? 1 : 0;
        setup.UniverseFile = test::WriteConsistentGame(dir, "alpha", 2);
        setup.Players[0] = {1, "one@example.org", dir.File("alpha.m1")};
        setup.Players[1] = {1, "two@example.org", dir.File("alpha.m2")};
        c.set(dir, setup);
        RecordingUserInterface ui{&document};
        ui.FillRows();

        const CheckRunOutcome check = CheckSendRun(document, ui);
        const std::size_t before = server.Record().Messages.size();
        const SendOutcome run = OnSend(document, ui);
        const std::size_t mailed = server.Record().Messages.size() - before;

        ASSERT_EQ(check.Players.size(), 2u);
        ASSERT_EQ(run.Attempts.size(), 2u);
        EXPECT_TRUE(check.ServerReady) << check.ServerLine;
        for (std::size_t i = 0; i < 2; ++i) {
            const PlayerAttempt& checked = check.Players[i].Attempt;
            const PlayerAttempt& sent = run.Attempts[i];
            EXPECT_EQ(checked.Sent, sent.Sent) << checked.Result << " | " << sent.Result;
            if (!sent.Sent) {
                // The same words after the prefix, up to the line's end.
                std::string runLine = sent.Result;
                while (!runLine.empty() && runLine.back() == '\n')
                    runLine.pop_back();
                EXPECT_EQ(checked.Result, runLine);
            }
        }
        EXPECT_EQ(check.Players[0].Attempt.Sent, true) << check.Players[0].Attempt.Result;
        if (c.problem) {
            const std::string& line = check.Players[1].Attempt.Result;
            EXPECT_EQ(line.rfind("[Player 2] ** ERROR: ", 0), 0u) << line;
            EXPECT_NE(line.find(c.problem), std::string::npos) << line;
            EXPECT_FALSE(run.Attempts[1].Sent);
            EXPECT_EQ(mailed, 1u) << "only player 1 is mailed";
        } else {
            EXPECT_TRUE(run.Attempts[1].Sent) << run.Attempts[1].Result;
            EXPECT_EQ(mailed, 2u);
        }
    }
}

// A refused player never reaches the server: no RCPT TO:<> for an empty address.
TEST(CheckAgreesWithRun, EmptyAddressIsNeverARecipient)
{
    PythonSmtpServer server(SmtpServerOptions{});
    ASSERT_TRUE(server.IsRunning()) << server.Error();
    GameDocument document;
    document.Setup.SmtpServer = server.Address();
    document.Setup.ReturnAddress = "host@example.org";
    document.Setup.SendPlayerFile = 0;
    document.Setup.Players[0] = {1, "", ""};
    RecordingUserInterface ui{&document};
    ui.FillRows();
    const SendOutcome run = OnSend(document, ui);
    EXPECT_EQ(run.Failed, 1);
    for (const auto& line : server.Record().Lines)
        EXPECT_NE(line.Text.rfind("RCPT", 0), 0u) << line.Text;
}

// A file name is text from outside: its control characters never reach a terminal, the report or the
// ledger through a player's line.
TEST(CheckAgreesWithRun, ControlCharactersOfAFileNameShowAsQuestionMarks)
{
    PythonSmtpServer server(SmtpServerOptions{});
    ASSERT_TRUE(server.IsRunning()) << server.Error();
    TempDir dir;
    GameDocument document;
    GameSetup& setup = document.Setup;
    setup.SmtpServer = server.Address();
    setup.ReturnAddress = "host@example.org";
    setup.CheckTurnFiles = 0;
    setup.DetailedReport = 1;
    for (const char* name : {"turn\x1b[2K\r\a.m1", "turn\xc2\x9b"
                                                   "31m.m1"}) {
        SCOPED_TRACE(name);
        setup.Players[0] = {1, "one@example.org", dir.File(name)};
        RecordingUserInterface ui{&document};
        ui.FillRows();
        const CheckRunOutcome check = CheckSendRun(document, ui);
        const SendOutcome run = OnSend(document, ui);
        ASSERT_EQ(run.Attempts.size(), 1u);
        for (const std::string& text :
             {check.Players[0].Attempt.Result, run.Attempts[0].Result, run.Summary}) {
            EXPECT_NE(text.find("Could not open file: "), std::string::npos) << text;
            for (std::size_t i = 0; i < text.size(); ++i) {
                const auto c = static_cast<unsigned char>(text[i]);
                EXPECT_FALSE(
                    (c < 0x20 && c != '\n') || c == 0x7F ||
                    (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0))
                    << text;
            }
        }
    }
}

} // namespace
} // namespace turnpost
