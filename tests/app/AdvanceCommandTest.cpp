#include "setup/SetupFile.h"
#include "support/GameFiles.h"
#include "support/ProgramRun.h"
#include "support/RecordingUserInterface.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using namespace turnpost;
using namespace turnpost::test;

namespace {

void WriteGameFile(const TempDir& dir, const std::string& name, int type, int player, std::uint16_t turn)
{
    GameFileFacts facts;
    facts.FileType = type;
    facts.PlayerIndex = player;
    facts.Turn = turn;
    dir.Write(name, GameFileBytes(facts));
}

} // namespace

// The host's cron line from end to end: refused until the generation is allowed (and the host told by
// mail), then the turn generated and the new turns mailed, then waiting for the next orders.
TEST(AdvanceCommand, GeneratesWhenAllOrdersAreInSendsTheNewTurnsAndTellsTheHostOfAFailure)
{
    SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    TempDir dir;
    GameSetup setup;
    setup.GameName = "Galaxy";
    setup.UniverseFile = WriteConsistentGame(dir, "galaxy", 2);
    setup.SmtpServer = sink.Address();
    setup.ReturnAddress = "host@example.org";
    setup.ReportAddress = "report@example.org";
    setup.EmailReport = 0;
    setup.MessageSubject = "%G: your turn for %Y";
    setup.Players[0] = {1, "p1@example.org", dir.File("galaxy.m1")};
    setup.Players[1] = {1, "p2@example.org", dir.File("galaxy.m2")};
    // What the game's host program would leave: the host file and the turn files one turn on.
    WriteGameFile(dir, "next.hst", 2, 31, 43);
    WriteGameFile(dir, "next.m1", 3, 0, 43);
    WriteGameFile(dir, "next.m2", 3, 1, 43);
    setup.GenerateCommand = "cp next.hst galaxy.hst && cp next.m1 galaxy.m1 && cp next.m2 galaxy.m2";
    const std::string path = dir.File("galaxy.tpf");
    RecordingUserInterface ui;
    ASSERT_TRUE(WriteSetupFile(path, setup, ui));
    WriteOrders(dir, "galaxy", 1);
    WriteOrders(dir, "galaxy", 2);
    const std::vector<std::string> environment{"XDG_CONFIG_HOME=" + dir.File("config")};

    std::string err, out;
    EXPECT_EQ(RunProgram(dir.Path(), {"--advance", path}, &err, &out, environment), 1);
    EXPECT_EQ(out, "All orders for 2442 are in\n"
                   "The generation failed: Generation command not approved: run turnpost --allow-command " +
                       path + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("backup")));
    auto mails = ParseMails(sink.WaitForMessages(1));
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].Subject, "Galaxy 2442: the turn did not advance");
    EXPECT_EQ(mails[0].EnvelopeTo, std::vector<std::string>{"<report@example.org>"});
    EXPECT_NE(mails[0].Text.find("Generation command not approved"), std::string::npos) << mails[0].Text;

    ASSERT_EQ(RunProgram(dir.Path(), {"--allow-command", path}, &err, &out, environment), 0) << err;
    EXPECT_EQ(RunProgram(dir.Path(), {"--advance", path}, &err, &out, environment), 0) << err << out;
    EXPECT_EQ(out.substr(0, out.find("[Player 1]")), "All orders for 2442 are in\n"
                                                     "Backed up 6 game files to backup/2442/\n"
                                                     "Ran the generation command (exit status 0)\n"
                                                     "The host file is now at 2443\n");
    EXPECT_EQ(out.substr(out.rfind('\n', out.size() - 2) + 1), "Sent the turns of 2443\n");
    EXPECT_TRUE(std::filesystem::exists(dir.File("backup/2442/galaxy.x2")));
    mails = ParseMails(sink.WaitForMessages(3));
    ASSERT_EQ(mails.size(), 3u);
    std::multiset<std::string> subjects;
    for (const auto& mail : mails)
        subjects.insert(mail.Subject);
    EXPECT_EQ(subjects.count("Galaxy: your turn for 2443"), 2u);

    // The orders in the folder are last turn's now: nothing to generate, and a status of its own.
    EXPECT_EQ(RunProgram(dir.Path(), {"--advance", path}, &err, &out, environment), 4);
    EXPECT_EQ(out, "Waiting for players 1 and 2; nothing generated\n");
    EXPECT_EQ(err, "");
}

// A turn that is done but could not be mailed once generated stops before the game files move on.
TEST(AdvanceCommand, RefusesToGenerateWithoutAGenerateCommandOrAServerToSendWith)
{
    struct Case
    {
        bool HasCommand;
        bool HasServer;
        std::string Refusal;
    };
    const Case cases[] = {
        {false, true, "The turn is done, but the setup has no generate command"},
        {true, false, "The turn is done, but no SMTP server is specified to send the new turns"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Refusal);
        SmtpSink sink;
        ASSERT_TRUE(sink.IsRunning()) << sink.Error();
        TempDir dir;
        GameSetup setup;
        setup.GameName = "Galaxy";
        setup.UniverseFile = WriteConsistentGame(dir, "galaxy", 1);
        setup.SmtpServer = c.HasServer ? sink.Address() : "";
        setup.ReturnAddress = "host@example.org";
        setup.ReportAddress = "report@example.org";
        setup.Players[0] = {1, "p1@example.org", dir.File("galaxy.m1")};
        setup.GenerateCommand = c.HasCommand ? "touch generated" : "";
        const std::string path = dir.File("galaxy.tpf");
        RecordingUserInterface ui;
        ASSERT_TRUE(WriteSetupFile(path, setup, ui));
        WriteOrders(dir, "galaxy", 1);
        const std::vector<std::string> environment{"XDG_CONFIG_HOME=" + dir.File("config")};
        if (c.HasCommand) {
            std::string err, out;
            ASSERT_EQ(RunProgram(dir.Path(), {"--allow-command", path}, &err, &out, environment), 0) << err;
        }

        std::string err, out;
        EXPECT_EQ(RunProgram(dir.Path(), {"--advance", path}, &err, &out, environment), 1);
        EXPECT_EQ(out, "All orders for 2442 are in\n" + c.Refusal + "\n");
        EXPECT_FALSE(std::filesystem::exists(dir.File("backup")));
        EXPECT_FALSE(std::filesystem::exists(dir.File("generated")));
        if (c.HasServer) {
            const auto mails = ParseMails(sink.WaitForMessages(1));
            ASSERT_EQ(mails.size(), 1u);
            EXPECT_EQ(mails[0].Subject, "Galaxy 2442: the turn did not advance");
        }
    }
}
