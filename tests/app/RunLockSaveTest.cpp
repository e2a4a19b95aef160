#include "send/RunLock.h"
#include "setup/SetupFile.h"
#include "support/ProgramRun.h"
#include "support/RecordingUserInterface.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace turnpost;
using namespace turnpost::test;

// A run holds the setup (here the test process stands in for it); the host saves the setup, which
// renames a new file over it; a second run must still see the first one.
TEST(RunLockSave, ARunStartedAfterASaveIsRefusedAndMailsNobody)
{
    TempDir dir;
    GameDocument document;
    document.FilePath = dir.File("game.tpf");
    document.Setup.GameName = "Alpha";
    document.Setup.SmtpServer = "127.0.0.1:1";
    document.Setup.Players[0] = {1, "p1@example.org", ""};
    RecordingUserInterface ui;
    ASSERT_TRUE(WriteSetupFile(document.FilePath, document.Setup, ui));

    CRunLock running;
    ASSERT_EQ(running.Take(document), CRunLock::Result::Locked);
    const std::string json = dir.Write("game.json", R"({"GameName": "Beta", "SmtpServer": "127.0.0.1:1",
        "Players": [{"Selected": 1, "EmailAddress": "p1@example.org"}]})");
    std::string err, out;
    ASSERT_EQ(RunProgram(dir.Path(), {"--import", json, document.FilePath}, &err), 0) << err;

    EXPECT_EQ(RunProgram(dir.Path(), {"--no-gui", "-X", document.FilePath}, &err, &out), 1);
    EXPECT_EQ(err, "turnpost: " + document.FilePath + " is being sent by another run\n");
    EXPECT_EQ(out, "");
}
