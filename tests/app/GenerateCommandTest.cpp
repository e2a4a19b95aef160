#include "setup/SetupFile.h"
#include "support/GameFiles.h"
#include "support/ProgramRun.h"
#include "support/RecordingUserInterface.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace turnpost;
using namespace turnpost::test;

// The headless generation: refused until allowed, then one line per step and the turn moved on.
TEST(GenerateCommand, RunsTheAllowedCommandAndReportsEachStep)
{
    TempDir dir;
    GameSetup setup;
    setup.UniverseFile = WriteConsistentGame(dir, "g", 3);
    GameFileFacts next;
    next.FileType = 2;
    next.PlayerIndex = 31;
    next.Turn = 43;
    const std::string nextHost = dir.Write("next-host", GameFileBytes(next));
    setup.GenerateCommand = "cp '" + nextHost + "' g.hst && echo generated";
    const std::string tpf = dir.File("game.tpf");
    RecordingUserInterface ui;
    ASSERT_TRUE(WriteSetupFile(tpf, setup, ui));
    const std::vector<std::string> environment{"XDG_CONFIG_HOME=" + dir.File("config")};
    const std::string hostBefore = ReadFileBytes(dir.File("g.hst"));

    std::string out, err;
    EXPECT_EQ(RunProgram(dir.Path(), {"--generate", tpf}, &err, &out, environment), 1);
    EXPECT_EQ(err, "turnpost: Generation command not approved: run turnpost --allow-command " + tpf + "\n");
    EXPECT_EQ(out, "");
    EXPECT_FALSE(std::filesystem::exists(dir.File("backup")));
    EXPECT_EQ(ReadFileBytes(dir.File("g.hst")), hostBefore);

    ASSERT_EQ(RunProgram(dir.Path(), {"--allow-command", tpf}, &err, &out, environment), 0) << err;
    ASSERT_EQ(RunProgram(dir.Path(), {"--generate", tpf}, &err, &out, environment), 0) << err;
    EXPECT_EQ(out, "Backed up 5 game files to backup/2442/\n"
                   "Ran the generation command (exit status 0): generated\n"
                   "The host file is now at 2443\n");
    EXPECT_EQ(err, "");
    EXPECT_EQ(ReadFileBytes(dir.File("backup/2442/g.hst")), hostBefore);

    // Run again the command leaves the turn where it is: a failure, with the next year's backup made.
    EXPECT_EQ(RunProgram(dir.Path(), {"--generate", tpf}, &err, &out, environment), 1);
    EXPECT_EQ(err, "turnpost: The host file is still at 2443: the generation did not move the turn on\n");
    EXPECT_TRUE(std::filesystem::exists(dir.File("backup/2443/SHA256SUMS")));
}
