#include "setup/SetupFile.h"
#include "support/ProgramRun.h"
#include "support/RecordingUserInterface.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace turnpost;
using namespace turnpost::test;

TEST(UnreadableLedger, ResendAndStatusEndWithStatus1AndNameTheLedger)
{
    TempDir dir;
    GameSetup setup;
    setup.GameName = "Alpha";
    setup.SmtpServer = "127.0.0.1:1";
    setup.Players[0] = {1, "p1@example.org", ""};
    const std::string path = dir.File("game.tpf");
    RecordingUserInterface ui;
    ASSERT_TRUE(WriteSetupFile(path, setup, ui));
    ASSERT_EQ(::mkdir((path + ".ledger").c_str(), 0755), 0);
    const std::string reason = path + ".ledger cannot be read (not a regular file)";

    std::string err, out;
    EXPECT_EQ(RunProgram(dir.Path(), {"--resend-failed", path}, &err, &out), 1);
    EXPECT_EQ(err, "turnpost: Nobody resent: the delivery ledger " + reason + "\n");
    EXPECT_EQ(out, "");

    EXPECT_EQ(RunProgram(dir.Path(), {"--status", path}, &err, &out), 1);
    EXPECT_EQ(err, "turnpost: The delivery ledger " + reason + "\n");
    EXPECT_EQ(out,
              "Alpha, year 0 (" + path + ".ledger, which cannot be read)\n[Player 1] not mailed for 0\n");
}
