#include "setup/CommandApproval.h"
#include "setup/SetupFile.h"
#include "support/ProgramRun.h"
#include "support/RecordingUserInterface.h"
#include "support/ScopedEnvironment.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace turnpost {
namespace {

using namespace turnpost::test;

bool Exists(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0;
}

// No path that can obtain a password runs a setup file's command before the host allowed it, and an
// allowance covers that command for that server and user only.
TEST(ApprovalPaths, NoCommandLinePathRunsACommandThatWasNotAllowed)
{
    TempDir dir;
    SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    const std::string mark = dir.File("ran");
    GameSetup setup;
    setup.SmtpServer = sink.Address();
    setup.ReturnAddress = "host@example.org";
    setup.SmtpUser = "host";
    setup.SmtpPasswordCommand = "touch '" + mark + "'; echo secret";
    setup.SendPlayerFile = 0;
    setup.Players[0] = {1, "p1@example.org", ""};
    const std::string tpf = dir.File("game.tpf");
    RecordingUserInterface ui;
    const auto write = [&](const GameSetup& s) { ASSERT_TRUE(WriteSetupFile(tpf, s, ui)); };
    const std::vector<std::string> environment{"XDG_CONFIG_HOME=" + dir.File("config"),
                                               "TURNPOST_SMTP_PASSWORD="};
    const std::vector<std::vector<std::string>> paths = {
        {"--no-gui", "-X", tpf}, {"--no-gui", "-S", tpf}, {"--resend-failed", tpf}, {"--check", tpf}};
    const auto runsCommand = [&](const std::vector<std::string>& args) {
        ::unlink(mark.c_str());
        std::string err, out;
        RunProgram(dir.Path(), args, &err, &out, environment);
        return Exists(mark);
    };
    const auto allow = [&] {
        std::string err, out;
        ASSERT_EQ(RunProgram(dir.Path(), {"--allow-command", tpf}, &err, &out, environment), 0) << err;
    };

    const struct
    {
        const char* state;
        void (*change)(GameSetup&);
        bool allowFirst;
        bool runs;
    } states[] = {
        {"never allowed", [](GameSetup&) {}, false, false},
        {"allowed", [](GameSetup&) {}, true, true},
        {"server changed after the allowance", [](GameSetup& s) { s.SmtpServer = "127.0.0.1:9"; }, true,
         false},
        {"user changed after the allowance", [](GameSetup& s) { s.SmtpUser = "other"; }, true, false},
        {"command changed after the allowance", [](GameSetup& s) { s.SmtpPasswordCommand += " "; }, true,
         false},
    };
    for (const auto& s : states) {
        SCOPED_TRACE(s.state);
        std::filesystem::remove_all(dir.File("config"));
        write(setup);
        if (s.allowFirst)
            allow();
        GameSetup changed = setup;
        s.change(changed);
        write(changed);
        for (const auto& args : paths)
            EXPECT_EQ(runsCommand(args), s.runs) << args[args.size() - 2];
    }
}

// The generation command is shown and allowed with the password commands, each for its own purpose.
TEST(ApprovalPaths, AllowCommandAllowsTheGenerationCommandForTheGenerationAlone)
{
    TempDir dir;
    GameSetup setup;
    setup.SmtpServer = "smtp.example.org:587";
    setup.SmtpUser = "host";
    setup.SmtpPasswordCommand = "pass show mail";
    setup.GenerateCommand = "./generate.sh\x1b";
    const std::string tpf = dir.File("game.tpf");
    RecordingUserInterface ui;
    ASSERT_TRUE(WriteSetupFile(tpf, setup, ui));
    std::string err, out;
    ASSERT_EQ(RunProgram(dir.Path(), {"--allow-command", tpf}, &err, &out,
                         {"XDG_CONFIG_HOME=" + dir.File("config")}),
              0)
        << err;
    EXPECT_NE(out.find("Generates the next turn\nCommand (1 line):\n./generate.sh\\x1b\n"), std::string::npos)
        << out;
    EXPECT_EQ(err, "turnpost: Commands allowed for " + tpf + ".\n");

    ScopedEnvironment config("XDG_CONFIG_HOME", dir.File("config"));
    EXPECT_TRUE(IsCommandApproved(tpf, setup.GenerateCommand, GenerationDestination()));
    EXPECT_TRUE(IsCommandApproved(tpf, setup.SmtpPasswordCommand, SmtpDestination(setup)));
    EXPECT_FALSE(IsCommandApproved(tpf, setup.GenerateCommand, SmtpDestination(setup)));
    EXPECT_FALSE(IsCommandApproved(tpf, setup.SmtpPasswordCommand, GenerationDestination()));
}

} // namespace
} // namespace turnpost
