#include "send/TurnGeneration.h"

#include "platform/Digest.h"
#include "platform/Files.h"
#include "setup/CommandApproval.h"
#include "support/GameFiles.h"
#include "support/RecordingUserInterface.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <unistd.h>

using namespace turnpost;
using namespace turnpost::test;

namespace {

std::string HostFileBytes(std::uint16_t turn, std::uint8_t flags = 0)
{
    GameFileFacts host;
    host.FileType = 2;
    host.PlayerIndex = 31;
    host.Turn = turn;
    host.Flags = flags;
    host.Size = 64;
    return GameFileBytes(host);
}

/// A game at 2442 with turn files for two players and one player's orders, a setup file beside it, and
/// a place for the user's approvals of its own.
struct Generation : ::testing::Test
{
    TempDir Dir;
    ScopedEnvironment Config{"XDG_CONFIG_HOME", Dir.File("config")};
    std::string Universe = WriteConsistentGame(Dir, "galaxy", 2);
    std::string SetupPath = Dir.Write("game.tpf", "");
    /// What the generation writes as the next turn's host file; kept apart from the game files.
    std::string NextHost = Dir.Write("next-host", HostFileBytes(43));
    /// Copies the next host file in by a name relative to the game folder, where the command runs.
    std::string Advance = "cp '" + NextHost + "' galaxy.hst";
    GameDocument Document;

    Generation()
    {
        GameFileFacts orders;
        orders.FileType = 1;
        Dir.Write("galaxy.x1", GameFileBytes(orders));
        Document.FilePath = SetupPath;
        Document.Setup.UniverseFile = Universe;
        UseCommand(Advance);
    }

    /// The command as read from the setup file.
    void UseCommand(const std::string& command)
    {
        Document.Setup.GenerateCommand = command;
        Document.GenerateCommandFromFile = command;
    }

    void Approve(const std::string& command)
    {
        std::string error;
        ASSERT_TRUE(ApproveCommand(SetupPath, command, GenerationDestination(), error)) << error;
    }

    GenerationOutcome Generate(int timeout = GenerationTimeout)
    {
        RecordingUserInterface ui;
        return GenerateTurn(Document, ui, timeout);
    }

    std::map<std::string, std::string> GameFiles() const
    {
        std::map<std::string, std::string> files;
        for (const char* name : {"galaxy.xy", "galaxy.hst", "galaxy.m1", "galaxy.m2", "galaxy.x1"})
            files[name] = ReadFileBytes(Dir.File(name));
        return files;
    }

    std::string Backup() const { return Dir.File("backup/2442"); }
};

} // namespace

TEST_F(Generation, BacksUpRunsTheApprovedCommandInTheGameFolderAndChecksTheTurn)
{
    // A link among the game files is left out, not followed to what it names.
    const std::string elsewhere = Dir.Write("elsewhere", "not a game file");
    ASSERT_EQ(::symlink(elsewhere.c_str(), Dir.File("galaxy.m3").c_str()), 0);
    const auto before = GameFiles();
    UseCommand(Advance + " && echo 'Generated \x1b[2J turn 43'");
    Approve(Document.Setup.GenerateCommand);

    const GenerationOutcome outcome = Generate();
    ASSERT_TRUE(outcome.Ok) << outcome.Error;
    EXPECT_EQ(outcome.Lines, (std::vector<std::string>{
                                 "Not backed up: galaxy.m3 is a symbolic link",
                                 "Backed up 5 game files to backup/2442/",
                                 "Ran the generation command (exit status 0): Generated ?[2J turn 43",
                                 "The host file is now at 2443",
                             }));
    EXPECT_EQ(outcome.YearBefore, 2442);
    EXPECT_EQ(outcome.YearAfter, 2443);

    std::string list;
    for (const auto& [name, bytes] : before) {
        EXPECT_EQ(ReadFileBytes(Backup() + "/" + name), bytes) << name;
        list += Sha256Hex(bytes) + "  " + name + "\n";
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(Backup() + "/galaxy.m3")));
    // In the game's own order, so that sha256sum -c reads it.
    EXPECT_EQ(ReadFileBytes(Backup() + "/" + BackupListName),
              Sha256Hex(before.at("galaxy.xy")) + "  galaxy.xy\n" + Sha256Hex(before.at("galaxy.hst")) +
                  "  galaxy.hst\n" + Sha256Hex(before.at("galaxy.m1")) + "  galaxy.m1\n" +
                  Sha256Hex(before.at("galaxy.m2")) + "  galaxy.m2\n" + Sha256Hex(before.at("galaxy.x1")) +
                  "  galaxy.x1\n");
    EXPECT_EQ(std::filesystem::status(Backup()).permissions(), std::filesystem::perms::owner_all);
}

TEST_F(Generation, ARetryKeepsTheBackupOfTheFirstTry)
{
    Approve("echo broken > galaxy.m1; exit 1");
    Approve(Advance);
    const std::string firstTurnFile = ReadFileBytes(Dir.File("galaxy.m1"));

    UseCommand("echo broken > galaxy.m1; exit 1");
    GenerationOutcome outcome = Generate();
    EXPECT_FALSE(outcome.Ok);
    EXPECT_EQ(outcome.Error, "The generation command failed (exit status 1); the game files before it are "
                             "in backup/2442/");
    EXPECT_EQ(outcome.Lines, std::vector<std::string>{"Backed up 5 game files to backup/2442/"});

    UseCommand(Advance);
    outcome = Generate();
    ASSERT_TRUE(outcome.Ok) << outcome.Error;
    EXPECT_EQ(outcome.Lines.front(),
              "Kept the backup made before the first try: 5 game files in backup/2442/");
    EXPECT_EQ(ReadFileBytes(Backup() + "/galaxy.m1"), firstTurnFile);
}

TEST_F(Generation, ABackupCutShortIsMadeAgainAndADamagedOneStopsTheGeneration)
{
    Approve(Advance);
    // Cut short: a copy was written, the list never was.
    std::filesystem::create_directories(Backup());
    const std::string hostBytes = ReadFileBytes(Dir.File("galaxy.hst"));
    WriteFileAtomically(Backup() + "/galaxy.hst", "half");
    GenerationOutcome outcome = Generate();
    ASSERT_TRUE(outcome.Ok) << outcome.Error;
    EXPECT_EQ(outcome.Lines.front(), "Backed up 5 game files to backup/2442/");
    EXPECT_EQ(ReadFileBytes(Backup() + "/galaxy.hst"), hostBytes);

    // Back at 2442 with the backup's copy of the host file changed since: nothing runs.
    WriteFileAtomically(Dir.File("galaxy.hst"), hostBytes);
    WriteFileAtomically(Backup() + "/galaxy.hst", "changed");
    const std::string mark = Dir.File("ran");
    UseCommand("touch '" + mark + "'");
    Approve(Document.Setup.GenerateCommand);
    outcome = Generate();
    EXPECT_FALSE(outcome.Ok);
    EXPECT_EQ(outcome.Error, "The backup in " + Backup() +
                                 " is damaged (galaxy.hst differs from its digest); move it away to make a "
                                 "new one");
    EXPECT_FALSE(FileExists(mark));
}

TEST_F(Generation, StopsWithAClearErrorAtTheStepThatFails)
{
    struct Case
    {
        const char* Name;
        std::string Command;
        bool Approved;
        std::string HostFile; ///< the host file before the run; empty keeps the game's
        int Timeout;
        std::string Error;
        bool BackedUp;
    };
    const Case cases[] = {
        {"not approved", Advance, false, "", GenerationTimeout,
         "Generation command not approved: run turnpost --allow-command " + SetupPath, false},
        {"host file in use", Advance, true, HostFileBytes(42, 0x02), GenerationTimeout,
         "Turn not generated: " + Dir.File("galaxy.hst") + " is in use", false},
        {"turn not moved on", "echo done", true, "", GenerationTimeout,
         "The host file is still at 2442: the generation did not move the turn on", true},
        {"left in use", "cp '" + Dir.Write("busy-host", HostFileBytes(43, 0x02)) + "' galaxy.hst", true, "",
         GenerationTimeout, "After the generation " + Dir.File("galaxy.hst") + " is in use", true},
        {"killed", "kill -9 $$", true, "", GenerationTimeout, "The generation command was killed by signal 9",
         true},
        {"never ends", "echo started; sleep 60", true, "", 300,
         "The generation command did not finish within 300 ms and was stopped: started", true},
    };
    const std::string hostBytes = ReadFileBytes(Dir.File("galaxy.hst"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(Dir.File("backup"));
        WriteFileAtomically(Dir.File("galaxy.hst"), c.HostFile.empty() ? hostBytes : c.HostFile);
        UseCommand(c.Command);
        if (c.Approved)
            Approve(c.Command);
        const GenerationOutcome outcome = Generate(c.Timeout);
        EXPECT_FALSE(outcome.Ok);
        const std::string afterBackup = c.BackedUp ? "; the game files before it are in backup/2442/" : "";
        if (c.Error.starts_with("The generation command"))
            EXPECT_EQ(outcome.Error, c.Error + afterBackup);
        else
            EXPECT_EQ(outcome.Error, c.Error);
        EXPECT_EQ(FileExists(Backup() + "/" + BackupListName), c.BackedUp);
    }
}

TEST_F(Generation, NeedsItsOwnApproval)
{
    // An approval for a password command of the same text and file does not let it run.
    GameSetup smtp;
    smtp.SmtpServer = "smtp.example.org";
    smtp.SmtpUser = "host";
    std::string error;
    ASSERT_TRUE(ApproveCommand(SetupPath, Advance, SmtpDestination(smtp), error)) << error;
    EXPECT_FALSE(IsCommandApproved(SetupPath, Advance, GenerationDestination()));

    // Asked where a person can answer, and the yes is kept.
    RecordingUserInterface ui;
    ui.CommandApprovals.push_back(true);
    const GenerationOutcome outcome = GenerateTurn(Document, ui);
    ASSERT_TRUE(outcome.Ok) << outcome.Error;
    ASSERT_EQ(ui.CommandDestinations.size(), 1u);
    EXPECT_EQ(ui.CommandDestinations[0], GenerationDestination());
    EXPECT_TRUE(IsCommandApproved(SetupPath, Advance, GenerationDestination()));
}
