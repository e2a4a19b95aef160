#include "send/DeliveryLedger.h"
#include "setup/SetupFile.h"
#include "support/GameFiles.h"
#include "support/ProgramRun.h"
#include "support/RecordingUserInterface.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <set>

using namespace turnpost;
using namespace turnpost::test;

namespace {

void WriteOrders(const TempDir& dir, int number)
{
    test::WriteOrders(dir, "galaxy", number);
}

} // namespace

// What a host's cron sees: the lines, and statuses a script can act on.
TEST(RemindCommand, RemindsOnceAndTellsScriptsWhetherTheTurnIsDone)
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
    setup.Players[0] = {1, "p1@example.org", ""};
    setup.Players[1] = {1, "p2@example.org", ""};
    const std::string path = dir.File("galaxy.tpf");
    RecordingUserInterface ui;
    ASSERT_TRUE(WriteSetupFile(path, setup, ui));
    WriteOrders(dir, 1);

    std::string err, out;
    EXPECT_EQ(RunProgram(dir.Path(), {"--remind", path}, &err, &out), 0) << err;
    EXPECT_EQ(out, "[Player 1] orders in\n[Player 2] reminded p2@example.org\n");
    EXPECT_EQ(RunProgram(dir.Path(), {"--remind", path}, &err, &out), 0) << err;
    EXPECT_EQ(out, "[Player 1] orders in\n[Player 2] already reminded this year\n");

    EXPECT_EQ(RunProgram(dir.Path(), {"--turn-done", path}, &err, &out), 1) << err;
    EXPECT_EQ(out, "Waiting for player 2\n");
    WriteOrders(dir, 2);
    EXPECT_EQ(RunProgram(dir.Path(), {"--turn-done", path}, &err, &out), 0) << err;
    EXPECT_EQ(out, "All orders for 2442 are in\n");
    EXPECT_EQ(err, "");
    EXPECT_EQ(RunProgram(dir.Path(), {"--turn-done", path}, &err, &out), 0) << err;

    // The reminder and one notice, which the ledger remembers.
    const auto mails = ParseMails(sink.WaitForMessages(2));
    ASSERT_EQ(mails.size(), 2u);
    std::set<std::string> subjects;
    for (const auto& mail : mails)
        subjects.insert(mail.Subject);
    EXPECT_EQ(subjects, (std::set<std::string>{"Galaxy 2442: all orders are in",
                                               "Galaxy: your orders for 2442 are not in yet"}));
    const LedgerContents ledger = ReadLedger(path + ".ledger");
    EXPECT_EQ(ledger.Reminders.size(), 1u);
    EXPECT_EQ(ledger.Notices.size(), 1u);
}

TEST(RemindCommand, CannotTellIsNeitherDoneNorWaiting)
{
    TempDir dir;
    GameSetup setup;
    setup.UniverseFile = WriteConsistentGame(dir, "galaxy", 1);
    setup.SmtpServer = "127.0.0.1:1";
    setup.Players[0] = {1, "p1@example.org", ""};
    const std::string path = dir.File("galaxy.tpf");
    RecordingUserInterface ui;
    ASSERT_TRUE(WriteSetupFile(path, setup, ui));
    GameFileFacts busy;
    busy.FileType = 2;
    busy.PlayerIndex = 31;
    busy.Flags = 0x02;
    const std::string host = dir.Write("galaxy.hst", GameFileBytes(busy));

    std::string err, out;
    EXPECT_EQ(RunProgram(dir.Path(), {"--turn-done", path}, &err, &out), 3);
    EXPECT_EQ(err, "turnpost: Cannot tell whether the turn is done: " + host + " is in use\n");
    EXPECT_EQ(out, "");
    EXPECT_EQ(RunProgram(dir.Path(), {"--remind", path}, &err, &out), 1);
    EXPECT_EQ(err, "turnpost: Nobody reminded: " + host + " is in use\n");
    EXPECT_EQ(RunProgram(dir.Path(), {"--turn-done", dir.File("missing.tpf")}, &err, &out), 3);
    EXPECT_EQ(RunProgram(dir.Path(), {"--force", "--turn-done", path}, &err, &out), 2);
    EXPECT_NE(err.find("--force goes with --remind"), std::string::npos) << err;
}
