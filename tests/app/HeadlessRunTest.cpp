#include "platform/Files.h"
#include "platform/Version.h"
#include "send/RunLock.h"
#include "setup/SetupFile.h"
#include "support/CommandOutput.h"
#include "support/ProgramRun.h"
#include "support/RecordingUserInterface.h"
#include "support/SilentListener.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace turnpost;
using namespace turnpost::test;

TEST(Headless, UsageVersionAndFilesThatCannotBeRead)
{
    TempDir dir;
    std::string err, out;
    EXPECT_EQ(RunProgram(dir.Path(), {"--version"}, &err, &out), 0);
    EXPECT_EQ(out, std::string(ProgramName) + "\n");
    EXPECT_EQ(RunProgram(dir.Path(), {"--help"}, &err, &out), 0);
    EXPECT_NE(out.find("Usage: turnpost"), std::string::npos);
    EXPECT_EQ(RunProgram(dir.Path(), {"--frobnicate"}, &err), 2);
    EXPECT_NE(err.find("unknown option --frobnicate"), std::string::npos);
    EXPECT_EQ(RunProgram(dir.Path(), {}, &err), 2); // no window to open and nothing asked for

    const std::string missing = dir.File("Missing Game.tpf");
    EXPECT_EQ(RunProgram(dir.Path(), {"-o", missing}, &err), 1);
    EXPECT_EQ(err, "turnpost: Could not open file: " + missing + "\n");
}

TEST(Headless, ImportWritesASetupThatExportGivesBack)
{
    TempDir dir;
    const std::string json = dir.Write("game.json", R"({"GameName": "Alpha", "SmtpTimeout": 900,
        "Players": [{"Selected": 1, "EmailAddress": "one@example.org"}]})");
    const std::string tpf = dir.File("game.tpf");
    std::string err, out;
    ASSERT_EQ(RunProgram(dir.Path(), {"--import", json, tpf}, &err), 0) << err;
    GameSetup setup;
    ASSERT_EQ(ParseSetup(ReadFileBytes(tpf), setup).Status, SetupParseResult::Loaded);
    EXPECT_EQ(setup.GameName, "Alpha");
    EXPECT_EQ(setup.SmtpTimeout, 900);
    EXPECT_EQ(setup.Players[0].EmailAddress, "one@example.org");

    ASSERT_EQ(RunProgram(dir.Path(), {"--export", tpf}, &err, &out), 0) << err;
    EXPECT_NE(out.find("\"GameName\": \"Alpha\""), std::string::npos);
    EXPECT_NE(out.find("\"SmtpTimeout\": 900"), std::string::npos);

    // A wrong type is refused and nothing is written.
    const std::string bad = dir.Write("bad.json", R"({"GameName": 7})");
    const std::string target = dir.File("never.tpf");
    EXPECT_EQ(RunProgram(dir.Path(), {"--import", bad, target}, &err), 1);
    EXPECT_EQ(err, "turnpost: " + bad + ": GameName must be a string\n");
    EXPECT_FALSE(FileExists(target));
}

namespace {

/// A game of three selected players that mails to a running smtp-sink and saves its report.
struct HeadlessSend : ::testing::Test
{
    TempDir Dir;
    SmtpSink Sink;
    GameSetup Setup;
    std::string SetupPath, ReportPath;

    void SetUp() override
    {
        ASSERT_TRUE(Sink.IsRunning()) << Sink.Error();
        Setup.GameName = "Alpha";
        Setup.SmtpServer = Sink.Address();
        Setup.ReturnAddress = "host@example.org";
        Setup.MessageSubject = "%G turn for player %P";
        Setup.SaveReportToFile = 1;
        ReportPath = Dir.File("report.txt");
        Setup.ReportFile = ReportPath;
        for (int i = 0; i < 3; ++i)
            Setup.Players[i] = {1, "p" + std::to_string(i + 1) + "@example.org", ""};
        Write();
    }
    void Write()
    {
        RecordingUserInterface ui;
        SetupPath = Dir.File("game.tpf");
        ASSERT_TRUE(WriteSetupFile(SetupPath, Setup, ui));
    }
};

} // namespace

TEST_F(HeadlessSend, SendActsAsExitAndPrintsTheSummary)
{
    std::string err, out;
    ASSERT_EQ(RunProgram(Dir.Path(), {"--no-gui", "-S", SetupPath}, &err, &out), 0) << err;
    EXPECT_EQ(Sink.WaitForMessages(3).size(), 3u);
    // Standard error is no terminal here: one line per slot result.
    EXPECT_NE(err.find("[Player 1] Sent OK\n[Player 2] Sent OK\n[Player 3] Sent OK\n[Player 4] skipped\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(out.substr(0, 19), "[Player 1] Sent OK\n");
    EXPECT_NE(ReadFileBytes(ReportPath).find("[Player 3] Sent OK\r\n"), std::string::npos);
}

TEST_F(HeadlessSend, CtrlCTermAndHangUpCancelAtTheNextPlayerAndTheReportStillFollows)
{
    // A long pause after each player leaves time to interrupt after the first one.
    Setup.PauseAfterConnection = 30000;
    Write();
    const struct
    {
        int signal;
        const char* name;
    } cases[] = {{SIGINT, "Ctrl+C"}, {SIGTERM, "a scheduler's time-out"}, {SIGHUP, "a closed terminal"}};
    std::size_t mailed = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // No output of the run before: the wait below must see this run's first line.
        for (const std::string& path : {ReportPath, Dir.File("stderr.txt")})
            std::remove(path.c_str());
        ProgramRun program(Dir.Path(), {"-X", SetupPath});
        ASSERT_TRUE(program.WaitForStdErr("[Player 1] Sent OK")) << program.StdErr();
        ::kill(program.Pid(), c.signal);

        EXPECT_EQ(program.Wait(20), 1);
        EXPECT_NE(program.StdErr().find("turnpost: Operation cancelled!"), std::string::npos)
            << program.StdErr();
        const std::string report = ReadFileBytes(ReportPath);
        EXPECT_NE(report.find("[Player 1] Sent OK\r\n"), std::string::npos) << report;
        EXPECT_EQ(report.find("[Player 2]"), std::string::npos) << report;
        EXPECT_EQ(Sink.WaitForMessages(++mailed).size(), mailed);
    }
}

TEST_F(HeadlessSend, SecondTermEndsAtOnceWhileAPlayerIsBeingMailed)
{
    // A server that takes the connection and never greets: the first player's mailing waits.
    SilentListener listener;
    Setup.SmtpServer = listener.Address();
    Setup.SmtpTimeout = 30000;
    Write();

    ProgramRun program(Dir.Path(), {"-X", SetupPath});
    ASSERT_TRUE(listener.WasConnected(10000)) << "the run never connected";
    ::kill(program.Pid(), SIGTERM);
    // The first signal lets the player being mailed finish: the program is still there.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(::waitpid(program.Pid(), nullptr, WNOHANG), 0);
    ::kill(program.Pid(), SIGTERM);

    EXPECT_EQ(program.Wait(5), 128 + SIGTERM);
    EXPECT_NE(program.StdErr().find("turnpost: interrupted"), std::string::npos) << program.StdErr();
    EXPECT_FALSE(FileExists(ReportPath));
}

TEST_F(HeadlessSend, SecondRunOfTheSameSetupRefusesAndEveryPlayerIsMailedOnce)
{
    // The test process holds the run lock, standing in for a run under way.
    GameDocument running;
    running.FilePath = SetupPath;
    auto held = std::make_unique<CRunLock>();
    ASSERT_EQ(held->Take(running), CRunLock::Result::Locked);

    TempDir elsewhere; // its own output files
    std::string err, out;
    EXPECT_EQ(RunProgram(elsewhere.Path(), {"-X", SetupPath}, &err, &out), 1);
    EXPECT_EQ(err, "turnpost: " + SetupPath + " is being sent by another run\n");
    EXPECT_EQ(out, "");
    EXPECT_FALSE(FileExists(ReportPath)) << "a refused run writes no report";

    // Once the other run is over the setup can be sent, and every player is mailed once.
    held.reset();
    EXPECT_EQ(RunProgram(elsewhere.Path(), {"-X", SetupPath}, &err), 0) << err;
    const auto mails = ParseMails(Sink.WaitForMessages(3));
    std::vector<std::string> recipients;
    for (const auto& mail : mails)
        recipients.insert(recipients.end(), mail.EnvelopeTo.begin(), mail.EnvelopeTo.end());
    std::sort(recipients.begin(), recipients.end());
    EXPECT_EQ(recipients,
              (std::vector<std::string>{"<p1@example.org>", "<p2@example.org>", "<p3@example.org>"}));
}

TEST_F(HeadlessSend, RunsWhereQtCannotBeLoaded)
{
    // The program's libraries name no Qt library, not even through the libraries they need.
    const std::string libraries = CommandOutput("ldd " + std::string(TURNPOST_BINARY_PATH));
    ASSERT_NE(libraries.find("libc.so"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("libQt"), std::string::npos) << libraries;

    // Broken Qt libraries first on the search path: a program that needed Qt would not even start.
    ASSERT_EQ(::mkdir(Dir.File("qt").c_str(), 0700), 0);
    for (const char* name : {"libQt6Core.so.6", "libQt6Gui.so.6", "libQt6Widgets.so.6"})
        Dir.Write("qt/" + std::string(name), "");
    const std::vector<std::string> noQt{"LD_LIBRARY_PATH=" + Dir.File("qt"), "DISPLAY=:7"};
    std::string err, out;
    EXPECT_EQ(RunProgram(Dir.Path(), {"--version"}, &err, &out, noQt), 0) << err;
    EXPECT_EQ(RunProgram(Dir.Path(), {"--help"}, &err, &out, noQt), 0) << err;
    EXPECT_EQ(RunProgram(Dir.Path(), {"--export", SetupPath}, &err, &out, noQt), 0) << err;
    ASSERT_EQ(RunProgram(Dir.Path(), {"--no-gui", "-X", SetupPath}, &err, &out, noQt), 0) << err;
    EXPECT_EQ(Sink.WaitForMessages(3).size(), 3u);
}

TEST_F(HeadlessSend, AWindowComesFromTheDesktopProgramOrIsRefusedClearly)
{
    std::string err, out;
    // A display asks for a window: the desktop program carries out the same command line.
    const std::vector<std::string> display{"DISPLAY=:7", "QT_QPA_PLATFORM=offscreen"};
    const int status = RunProgram(Dir.Path(), {"-X", SetupPath}, &err, &out, display);
    if (TURNPOST_HAS_DESKTOP) {
        ASSERT_EQ(status, 0) << err;
        EXPECT_EQ(Sink.WaitForMessages(3).size(), 3u);
    } else {
        EXPECT_EQ(status, 2);
        EXPECT_NE(err.find("this build has no windows; use --no-gui"), std::string::npos) << err;
        EXPECT_TRUE(Sink.WaitForMessages(0).empty());
    }
}
