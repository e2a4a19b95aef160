#include "send/DeliveryLedger.h"
#include "setup/SetupFile.h"
#include "support/ProgramRun.h"
#include "support/RecordingUserInterface.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace turnpost;
using namespace turnpost::test;

namespace {

std::string SecondLine(const std::string& text)
{
    const std::size_t start = text.find('\n') + 1;
    return text.substr(start, text.find('\n', start) - start);
}

} // namespace

TEST(DeadlineStatus, StatusShowsTheDeadlineUnderItsHeadingOnlyWhenThereIsOne)
{
    TempDir dir;
    GameSetup setup;
    setup.GameName = "Alpha";
    setup.SmtpServer = "127.0.0.1:1";
    setup.UniverseFile = dir.File("game.xy");
    setup.Players[0] = {1, "p1@example.org", ""};
    std::string host(18, '\x5a');
    host[12] = 5;
    host[13] = 0;
    dir.Write("game.hst", host);
    const std::string path = dir.File("game.tpf");
    RecordingUserInterface ui;
    ASSERT_TRUE(WriteSetupFile(path, setup, ui));

    PlayerAttempt attempt;
    attempt.Time = "2020-03-07T13:00:00Z";
    attempt.Year = 2405;
    attempt.Player = 1;
    attempt.Address = "p1@example.org";
    attempt.Result = "[Player 1] sent";
    attempt.Sent = true;
    dir.Write("game.tpf.ledger", AttemptToJson(attempt) + "\n");

    std::string err, out;
    RunProgram(dir.Path(), {"--status", path}, &err, &out);
    EXPECT_EQ(out.find("Deadline"), std::string::npos) << out;

    setup.TurnDeadlineHours = 53;
    ASSERT_TRUE(WriteSetupFile(path, setup, ui));
    RunProgram(dir.Path(), {"--status", path}, &err, &out);
    EXPECT_EQ(out.rfind("Alpha, year 2405 (", 0), 0u) << out;
    const std::string line = SecondLine(out);
    // The clock is the machine's: only the direction of the time left is known.
    EXPECT_EQ(line.rfind("Deadline: Mon 9 Mar 2020 18:00 UTC (passed ", 0), 0u) << out;
    EXPECT_EQ(line.substr(line.size() - 5), " ago)") << out;
}
