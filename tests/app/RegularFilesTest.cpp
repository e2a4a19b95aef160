#include "platform/Files.h"
#include "setup/SetupFile.h"
#include "support/ProgramRun.h"
#include "support/RecordingUserInterface.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace turnpost;
using namespace turnpost::test;

namespace {

/// Every path by which the program reads a file, given a FIFO that no one ever writes to. Opening such
/// a file for reading waits for a writer, so a reader that does not refuse it hangs the run.
struct FifoCase
{
    const char* Name;
    const char* Where;  ///< "player", "universe", "host", "open", "send", "export" or "import"
    int Status;         ///< exit status
    const char* Expect; ///< a line of standard error; FIFO stands for the FIFO's path
    int Mailed;         ///< messages that arrive
};

std::string Replace(std::string text, const std::string& what, const std::string& with)
{
    const auto at = text.find(what);
    return at == std::string::npos ? text : text.replace(at, what.size(), with);
}

} // namespace

TEST(RegularFiles, AFifoInEveryReadPathIsRefusedWithoutAHang)
{
    const FifoCase cases[] = {
        {"player file", "player", 1, "[Player 1] ** ERROR: Could not open file: FIFO (not a regular file)",
         1},
        {"universe file", "universe", 1,
         "[Player 1] ** ERROR: Could not open file: FIFO (not a regular file)", 0},
        {"host file (game year)", "host", 0, "[Player 2] Sent OK", 2},
        {"-O", "open", 1, "turnpost: Could not open file: FIFO (not a regular file)", 0},
        {"-X", "send", 1, "turnpost: Could not open file: FIFO (not a regular file)", 0},
        {"--export", "export", 1, "turnpost: Could not open file: FIFO (not a regular file)", 0},
        {"--import", "import", 1, "turnpost: Could not open file: FIFO (not a regular file)", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string where = c.Where;
        TempDir dir;
        SmtpSink sink;
        ASSERT_TRUE(sink.IsRunning()) << sink.Error();

        GameSetup setup;
        setup.GameName = "Alpha";
        setup.SmtpServer = sink.Address();
        setup.ReturnAddress = "host@example.org";
        setup.MessageSubject = "%G year %Y";
        setup.UniverseFile = dir.Write("alpha.xy", "universe");
        dir.Write("alpha.hst", std::string(18, '\0'));
        setup.SendUniverseFile = where == "universe";
        for (int i = 0; i < 2; ++i)
            setup.Players[i] = {1, "p" + std::to_string(i + 1) + "@example.org",
                                dir.Write("alpha.m" + std::to_string(i + 1), "turn")};

        std::string fifo = dir.File("fifo");
        if (where == "player")
            fifo = setup.Players[0].PlayerFile;
        else if (where == "universe")
            fifo = setup.UniverseFile;
        else if (where == "host")
            fifo = dir.File("alpha.hst");
        ::unlink(fifo.c_str());
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

        RecordingUserInterface ui;
        const std::string tpf = dir.File("game.tpf");
        ASSERT_TRUE(WriteSetupFile(tpf, setup, ui));
        std::vector<std::string> args{"--no-gui", "-X", tpf};
        if (where == "open")
            args = {"--no-gui", "-O", fifo};
        else if (where == "send")
            args = {"--no-gui", "-X", fifo};
        else if (where == "export")
            args = {"--export", fifo};
        else if (where == "import")
            args = {"--import", fifo, dir.File("new.tpf")};

        ProgramRun program(dir.Path(), args);
        ASSERT_EQ(program.Wait(20), c.Status) << program.StdErr();
        EXPECT_NE(program.StdErr().find(Replace(c.Expect, "FIFO", fifo) + "\n"), std::string::npos)
            << program.StdErr();
        EXPECT_EQ(sink.WaitForMessages(static_cast<std::size_t>(c.Mailed)).size(),
                  static_cast<std::size_t>(c.Mailed));
        if (where == "host") {
            EXPECT_NE(ReadFileBytes(sink.WaitForMessages(1).at(0)).find("Alpha year 0"), std::string::npos);
        }
    }
}

TEST(PasswordCommand, AllowCommandRecordsWhatAHeadlessRunNeeds)
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
    for (int i = 0; i < 2; ++i)
        setup.Players[i] = {1, "p" + std::to_string(i + 1) + "@example.org", ""};
    RecordingUserInterface ui;
    const std::string tpf = dir.File("game.tpf");
    ASSERT_TRUE(WriteSetupFile(tpf, setup, ui));
    const std::vector<std::string> environment{"XDG_CONFIG_HOME=" + dir.File("config"),
                                               "TURNPOST_SMTP_PASSWORD="};

    std::string err, out;
    EXPECT_EQ(RunProgram(dir.Path(), {"--no-gui", "-X", tpf}, &err, &out, environment), 1);
    const std::string refused =
        "** ERROR: Password command not approved: run turnpost --allow-command " + tpf;
    EXPECT_NE(err.find("[Player 1] " + refused + "\n"), std::string::npos) << err;
    EXPECT_NE(err.find("[Player 2] " + refused + "\n"), std::string::npos) << err;
    EXPECT_FALSE(FileExists(mark));

    ASSERT_EQ(RunProgram(dir.Path(), {"--allow-command", tpf}, &err, &out, environment), 0) << err;
    EXPECT_NE(out.find("The password goes to: host at " + sink.Address() + " (no encryption)\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Command (1 line):\n" + setup.SmtpPasswordCommand + "\n"), std::string::npos) << out;
    EXPECT_FALSE(FileExists(mark)); // shown, not run

    RunProgram(dir.Path(), {"--no-gui", "-X", tpf}, &err, &out, environment);
    EXPECT_TRUE(FileExists(mark)) << err;
    EXPECT_EQ(err.find("not approved"), std::string::npos) << err;

    // A file without a command has nothing to allow.
    setup.SmtpPasswordCommand.clear();
    ASSERT_TRUE(WriteSetupFile(tpf, setup, ui));
    EXPECT_EQ(RunProgram(dir.Path(), {"--allow-command", tpf}, &err, &out, environment), 1);
    EXPECT_EQ(err, "turnpost: " + tpf + " has no password command.\n");
}
