#include "send/SmtpPassword.h"
#include "platform/Files.h"
#include "setup/CommandApproval.h"
#include "support/RecordingUserInterface.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace turnpost;
using namespace turnpost::test;

namespace {

GameSetup SetupWith(const std::string& command)
{
    GameSetup setup;
    setup.SmtpServer = "smtp.example.org:587";
    setup.SmtpUser = "alice";
    setup.SmtpPasswordCommand = command;
    return setup;
}

} // namespace

TEST(ObtainSmtpPassword, EnvironmentComesFirst)
{
    ScopedEnvironment password("TURNPOST_SMTP_PASSWORD", "from environment");
    RecordingUserInterface ui;
    ui.Passwords.push_back("from dialog");
    std::string error;
    EXPECT_EQ(ObtainSmtpPassword(SetupWith("echo from command"), CommandSource::Typed(), ui, error),
              "from environment");
    EXPECT_TRUE(ui.PasswordAccounts.empty());
}

TEST(ObtainSmtpPassword, CommandGivesItsFirstLineOrANamedFailure)
{
    struct Case
    {
        const char* command;
        std::optional<std::string> password;
        const char* error;
    };
    const Case cases[] = {
        {"printf 'secret\\n'", "secret", ""},
        {"printf 'first\\r\\nsecond\\n'", "first", ""},
        {"printf 'no line end'", "no line end", ""},
        {"printf ' spaces kept \\n'", " spaces kept ", ""},
        // More output than a pipe holds must not leave the command blocked.
        {"yes | head -c 1000000", "y", ""},
        {"exit 3", std::nullopt, "Password command failed: exit 3 (exit status 3)"},
        {"echo secret; false", std::nullopt, "Password command failed: echo secret; false (exit status 1)"},
        {"/nonexistent/helper", std::nullopt,
         "Password command failed: /nonexistent/helper (exit status 127)"},
        {"kill -9 $$", std::nullopt, "Password command failed: kill -9 $$ (killed by signal 9)"},
        {"true", std::nullopt, "Password command gave no password: true"},
    };
    // An empty variable counts as unset.
    ScopedEnvironment password("TURNPOST_SMTP_PASSWORD", "");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        RecordingUserInterface ui;
        ui.Passwords.push_back("from dialog");
        std::string error;
        EXPECT_EQ(ObtainSmtpPassword(SetupWith(c.command), CommandSource::Typed(), ui, error), c.password);
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(ui.PasswordAccounts.empty()) << "a failing command must not fall back to asking";
    }
}

TEST(ObtainSmtpPassword, AsksTheUserLastAndNamesTheAccount)
{
    ScopedEnvironment password("TURNPOST_SMTP_PASSWORD", std::nullopt);
    RecordingUserInterface ui;
    ui.Passwords.push_back("typed");
    ui.Passwords.push_back(std::nullopt);
    std::string error;
    EXPECT_EQ(ObtainSmtpPassword(SetupWith(""), CommandSource::Typed(), ui, error), "typed");
    EXPECT_EQ(ObtainSmtpPassword(SetupWith(""), CommandSource::Typed(), ui, error), std::nullopt);
    EXPECT_EQ(error, "No password given for alice");
    EXPECT_EQ(ui.PasswordAccounts,
              (std::vector<std::string>{"alice@smtp.example.org:587", "alice@smtp.example.org:587"}));
}

namespace {

/// A fresh place for the user's approvals, and a setup file whose command leaves a mark when it runs.
struct CommandFromFile : ::testing::Test
{
    TempDir Dir;
    ScopedEnvironment Config{"XDG_CONFIG_HOME", Dir.File("config")};
    ScopedEnvironment NoPassword{"TURNPOST_SMTP_PASSWORD", std::nullopt};
    std::string SetupPath = Dir.Write("game.tpf", "");
    std::string Mark = Dir.File("ran");
    GameSetup Setup = SetupWith("touch '" + Mark + "'; echo secret");

    std::optional<std::string> Obtain(RecordingUserInterface& ui, std::string& error)
    {
        return ObtainSmtpPassword(Setup, CommandSource{SetupPath}, ui, error);
    }
};

} // namespace

TEST_F(CommandFromFile, RunsOnlyOnceApprovedForThatFileAndThatCommand)
{
    // Refused: the command leaves no trace and the line says how to allow it.
    RecordingUserInterface refusing;
    std::string error;
    EXPECT_EQ(Obtain(refusing, error), std::nullopt);
    EXPECT_EQ(error, "Password command not approved: run turnpost --allow-command " + SetupPath);
    EXPECT_FALSE(FileExists(Mark));
    EXPECT_EQ(refusing.CommandQuestions,
              std::vector<std::string>{Setup.SmtpPasswordCommand + "|" + SetupPath});

    // Run: the command runs, and the approval is kept, in a file for this user alone.
    RecordingUserInterface approving;
    approving.CommandApprovals.push_back(true);
    EXPECT_EQ(Obtain(approving, error), "secret") << error;
    EXPECT_TRUE(FileExists(Mark));
    struct stat st
    {
    };
    ASSERT_EQ(::stat(ApprovalFilePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ApprovalFilePath(), Dir.File("config") + "/turnpost/approved-commands");

    // Asked once: later runs take the kept approval.
    ::unlink(Mark.c_str());
    RecordingUserInterface later;
    EXPECT_EQ(Obtain(later, error), "secret");
    EXPECT_TRUE(later.CommandQuestions.empty());
    EXPECT_TRUE(FileExists(Mark));

    // Another command in the same file, or the same command in another file, needs its own approval.
    ::unlink(Mark.c_str());
    Setup.SmtpPasswordCommand += " ";
    EXPECT_EQ(Obtain(later, error), std::nullopt);
    Setup = SetupWith("touch '" + Mark + "'; echo secret");
    SetupPath = Dir.Write("other.tpf", "");
    EXPECT_EQ(Obtain(later, error), std::nullopt);
    EXPECT_FALSE(FileExists(Mark));
    EXPECT_EQ(later.CommandQuestions.size(), 2u);

    // The variable needs no approval: the command is not even looked at.
    ScopedEnvironment password("TURNPOST_SMTP_PASSWORD", "from environment");
    EXPECT_EQ(Obtain(later, error), "from environment");
    EXPECT_FALSE(FileExists(Mark));
}

TEST_F(CommandFromFile, ACommandThatDoesNotEndIsStoppedWithEverythingItStarted)
{
    // The command starts a helper of its own that would outlive it.
    const std::string helper = Dir.File("helper.pid");
    Setup = SetupWith("sleep 60 & echo $! > '" + helper + "'; sleep 60");
    Setup.SmtpTimeout = 300;
    RecordingUserInterface ui;
    std::string error;
    EXPECT_EQ(ObtainSmtpPassword(Setup, CommandSource::Typed(), ui, error), std::nullopt);
    EXPECT_EQ(error,
              "Password command did not finish within 300 ms and was stopped: " + Setup.SmtpPasswordCommand);
    const pid_t helperPid = std::stoi(ReadFileBytes(helper));
    // Killed at once; it may take a moment to be gone from the process table.
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
        // A killed process whose parent is gone may stay a zombie until the system's first process
        // reaps it: dead all the same.
        const std::string stat = ReadFileBytes("/proc/" + std::to_string(helperPid) + "/stat");
        const auto state = stat.rfind(") ");
        gone = stat.empty() || (state != std::string::npos && stat[state + 2] == 'Z');
        if (!gone)
            ::usleep(10000);
    }
    EXPECT_TRUE(gone);

    // Only the first line counts, and not one beyond 4 KiB.
    Setup = SetupWith("head -c 5000 /dev/zero | tr '\\0' x");
    EXPECT_EQ(ObtainSmtpPassword(Setup, CommandSource::Typed(), ui, error), std::nullopt);
    EXPECT_EQ(error, "Password command gave a line longer than 4096 bytes: " + Setup.SmtpPasswordCommand);
}
