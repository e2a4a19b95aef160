#include "app/CommandLine.h"
#include "send/DeliveryLedger.h"
#include "setup/SetupFile.h"

#include "support/GameFiles.h"
#include "support/ProgramRun.h"
#include "support/PythonSmtpServer.h"
#include "support/RecordingUserInterface.h"
#include "support/ScriptedSmtpPeer.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>

using namespace turnpost;
using namespace turnpost::test;

TEST(TurnCommandWords, StandAloneAndJsonOnlyWithARun)
{
    struct Case
    {
        std::vector<std::string> words;
        std::string error; // empty: understood
    };
    const Case cases[] = {
        {{"--check", "g.tpf"}, ""},
        {{"--check", "g.tpf", "--json"}, ""},
        {{"--check", "--json", "g.tpf"}, ""},
        {{"--json", "-X", "g.tpf"}, ""},
        {{"--resend-failed", "g.tpf", "--json"}, ""},
        {{"--status", "g.tpf"}, ""},
        {{"--collect", "--json", "g.tpf"}, ""},
        {{"--check"}, "--check needs a setup file"},
        {{"--collect"}, "--collect needs a setup file"},
        {{"--status", "g.tpf", "-X", "g.tpf"},
         "--check, --status, --resend-failed, --collect, --remind, --turn-done, --generate and --advance "
         "stand alone"},
        {{"--check", "a.tpf", "--resend-failed", "b.tpf"},
         "--check, --status, --resend-failed, --collect, --remind, --turn-done, --generate and --advance "
         "stand alone"},
        {{"--collect", "a.tpf", "--status", "a.tpf"},
         "--check, --status, --resend-failed, --collect, --remind, --turn-done, --generate and --advance "
         "stand alone"},
        {{"--collect", "a.tpf", "-S", "a.tpf"},
         "--check, --status, --resend-failed, --collect, --remind, --turn-done, --generate and --advance "
         "stand alone"},
        {{"--allow-command", "a.tpf", "--collect", "a.tpf"},
         "--check, --status, --resend-failed, --collect, --remind, --turn-done, --generate and --advance "
         "stand alone"},
        {{"--json", "-O", "g.tpf"}, "--json goes with -X, --check, --resend-failed, --collect or --remind"},
        {{"--status", "g.tpf", "--json"},
         "--json goes with -X, --check, --resend-failed, --collect or --remind"},
        {{"--generate", "g.tpf"}, ""},
        {{"--generate", "g.tpf", "--json"},
         "--json goes with -X, --check, --resend-failed, --collect or --remind"},
        {{"--generate", "a.tpf", "--collect", "a.tpf"},
         "--check, --status, --resend-failed, --collect, --remind, --turn-done, --generate and --advance "
         "stand alone"},
        {{"--generate", "a.tpf", "-X", "a.tpf"},
         "--check, --status, --resend-failed, --collect, --remind, --turn-done, --generate and --advance "
         "stand alone"},
    };
    for (const Case& c : cases) {
        const CommandLineOptions options = ParseCommandLine(c.words);
        EXPECT_EQ(options.Error, c.error) << c.words[0] << " " << c.words.size();
    }
    EXPECT_EQ(ParseCommandLine({"--resend-failed", "g.tpf"}).ResendFailed, "g.tpf");
    const CommandLineOptions check = ParseCommandLine({"--check", "--json", "g.tpf"});
    EXPECT_EQ(check.Check, "g.tpf");
    EXPECT_TRUE(check.Json);
    const CommandLineOptions collect = ParseCommandLine({"--collect", "--json", "g.tpf"});
    EXPECT_EQ(collect.Collect, "g.tpf");
    EXPECT_TRUE(collect.Json);
    // A flag between a command and its file belongs to the command, as the README writes it.
    for (const auto& words : {std::vector<std::string>{"--remind", "--force", "g.tpf"},
                              std::vector<std::string>{"--remind", "g.tpf", "--force"},
                              std::vector<std::string>{"--force", "--remind", "g.tpf"}}) {
        const CommandLineOptions remind = ParseCommandLine(words);
        EXPECT_EQ(remind.Error, "") << words[1];
        EXPECT_EQ(remind.Remind, "g.tpf") << words[1];
        EXPECT_TRUE(remind.Force) << words[1];
    }
}

namespace {

/// A saved three-player game at turn 42, mailed headless.
struct TurnCommands : ::testing::Test
{
    TempDir Dir;
    GameSetup Setup;
    std::string SetupPath;

    void SetUp() override
    {
        Setup.GameName = "Alpha";
        Setup.UniverseFile = WriteConsistentGame(Dir, "g", 3);
        Setup.SendUniverseFile = 1;
        Setup.ReturnAddress = "host@example.org";
        Setup.MessageSubject = "%G %Y for %P";
        Setup.SmtpTimeout = 5000;
        for (int index = 0; index < 3; ++index)
            Setup.Players[static_cast<std::size_t>(index)] = {
                1, "p" + std::to_string(index + 1) + "@example.org",
                Dir.File("g.m" + std::to_string(index + 1))};
        SetupPath = Dir.File("game.tpf");
    }
    void Write(const std::string& server)
    {
        Setup.SmtpServer = server;
        RecordingUserInterface ui;
        ASSERT_TRUE(WriteSetupFile(SetupPath, Setup, ui));
    }
    int Run(const std::vector<std::string>& args, std::string* out = nullptr, std::string* err = nullptr)
    {
        ProgramRun program(Dir.Path(), args);
        const int status = program.Wait();
        if (out)
            *out = program.StdOut();
        if (err)
            *err = program.StdErr();
        return status;
    }
    std::string Ledger() const { return SetupPath + ".ledger"; }
};

} // namespace

TEST_F(TurnCommands, CheckGreetsTheServerMailsNobodyAndTellsWhatARunWouldDo)
{
    {
        ScriptedSmtpPeer peer;
        peer.Send("220 hi\r\n").On("HELO", "250 ok\r\n").On("QUIT", "221 bye\r\n");
        peer.Start();
        Write(peer.Address());
        std::string out, err;
        EXPECT_EQ(Run({"--check", SetupPath}, &out, &err), 0) << err;
        peer.Wait();
        EXPECT_TRUE(peer.Mismatches().empty());
        EXPECT_EQ(out, "[Player 1] OK: p1@example.org, \"Alpha 2442 for 1\", g.xy + g.m1\n"
                       "[Player 2] OK: p2@example.org, \"Alpha 2442 for 2\", g.xy + g.m2\n"
                       "[Player 3] OK: p3@example.org, \"Alpha 2442 for 3\", g.xy + g.m3\n"
                       "[Server] OK: " +
                           peer.Address() + ", no encryption\n");
    }
    // One stale turn file: a real run would not mail everybody.
    GameFileFacts stale;
    stale.PlayerIndex = 1;
    stale.Turn = 40;
    Dir.Write("g.m2", GameFileBytes(stale));
    ScriptedSmtpPeer peer;
    peer.Send("220 hi\r\n").On("HELO", "250 ok\r\n").On("QUIT", "221 bye\r\n");
    peer.Start();
    Write(peer.Address());
    std::string out, err;
    EXPECT_EQ(Run({"--check", "--json", SetupPath}, &out, &err), 1) << err;
    peer.Wait();
    EXPECT_EQ(peer.Received().find("MAIL"), std::string::npos);
    const auto report = nlohmann::json::parse(out);
    EXPECT_EQ(report["mode"], "check");
    EXPECT_EQ(report["ok"], false);
    EXPECT_EQ(report["year"], 2442);
    ASSERT_EQ(report["players"].size(), 3u);
    EXPECT_EQ(report["players"][1]["number"], 2);
    EXPECT_EQ(report["players"][1]["ready"], false);
    EXPECT_EQ(report["players"][1]["result"],
              "[Player 2] ** ERROR: " + Dir.File("g.m2") + " is for 2440, the host file is at 2442");
    EXPECT_EQ(report["players"][0]["files"][1]["size"], 30);
    EXPECT_EQ(report["server"]["ready"], true);
    EXPECT_FALSE(ReadLedger(Ledger()).Found);
}

TEST_F(TurnCommands, ResendFailedMailsOnlyTheRefusedPlayerAndStatusFollows)
{
    SmtpServerOptions options;
    options.RefuseOnce = "p2@example.org";
    PythonSmtpServer server(options);
    ASSERT_TRUE(server.IsRunning()) << server.Error();
    Write(server.Address());

    std::string out, err;
    EXPECT_EQ(Run({"-X", SetupPath, "--json"}, &out, &err), 1) << err;
    const auto first = nlohmann::json::parse(out);
    EXPECT_EQ(first["mode"], "send");
    EXPECT_EQ(first["failed"], 1);
    ASSERT_EQ(first["players"].size(), 3u);
    EXPECT_EQ(first["players"][0]["sent"], true);
    EXPECT_EQ(first["players"][0]["reply"], "250 2.0.0 Message accepted: queued as Q1");
    EXPECT_EQ(first["players"][1]["address"], "p2@example.org");
    EXPECT_EQ(first["players"][1]["result"],
              "[Player 2] ** ERROR: 550 5.1.1 Mailbox unavailable, try again later");

    EXPECT_EQ(Run({"--status", SetupPath}, &out, &err), 1) << err;
    EXPECT_NE(out.find("Alpha, year 2442 (" + Ledger() + ")\n[Player 1] Sent OK ("), std::string::npos)
        << out;
    EXPECT_NE(out.find("[Player 2] ** ERROR: 550 5.1.1 Mailbox unavailable, try again later ("),
              std::string::npos);

    EXPECT_EQ(Run({"--resend-failed", SetupPath}, &out, &err), 0) << err;
    EXPECT_NE(out.find("[Player 1] skipped: delivered earlier\n[Player 2] Sent OK\n"), std::string::npos)
        << out;
    const auto messages = server.Record().Messages;
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[2].To, std::vector<std::string>{"p2@example.org"});

    EXPECT_EQ(Run({"--status", SetupPath}, &out, &err), 0) << err;
    EXPECT_NE(out.find("\n[Player 2] Sent OK ("), std::string::npos) << out;
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
}

TEST_F(TurnCommands, TheLedgerSurvivesCtrlCAndATornLine)
{
    SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    // A long pause after each player leaves time to interrupt after the first one.
    Setup.PauseAfterConnection = 30000;
    Write(sink.Address());
    {
        ProgramRun program(Dir.Path(), {"-X", SetupPath});
        ASSERT_TRUE(program.WaitForStdErr("[Player 1] Sent OK")) << program.StdErr();
        ::kill(program.Pid(), SIGINT);
        EXPECT_EQ(program.Wait(20), 1);
    }
    LedgerContents ledger = ReadLedger(Ledger());
    ASSERT_EQ(ledger.Attempts.size(), 1u);
    EXPECT_TRUE(ledger.Attempts[0].Sent);
    ASSERT_EQ(ledger.Runs.size(), 1u);
    EXPECT_TRUE(ledger.Runs[0].Cancelled);

    // A run killed in the middle of a line leaves it torn: it is skipped with a warning.
    std::string text = ReadFileBytes(Ledger());
    Dir.Write("game.tpf.ledger", text + "{\"kind\":\"player\",\"time\":\"2026-");
    std::string out, err;
    EXPECT_EQ(Run({"--status", SetupPath}, &out, &err), 1);
    EXPECT_EQ(err, "turnpost: " + Ledger() + ":3: not a ledger record, skipped\n");
    EXPECT_NE(out.find("[Player 1] Sent OK ("), std::string::npos) << out;
    EXPECT_NE(out.find("[Player 2] not mailed for 2442\n[Player 3] not mailed for 2442\n"), std::string::npos)
        << out;

    Setup.PauseAfterConnection = 0;
    Write(sink.Address());
    EXPECT_EQ(Run({"--resend-failed", SetupPath}, &out, &err), 0) << err;
    EXPECT_EQ(sink.WaitForMessages(3).size(), 3u);
    ledger = ReadLedger(Ledger());
    EXPECT_EQ(ledger.Attempts.size(), 3u);
    EXPECT_EQ(ledger.Warnings.size(), 1u);
    EXPECT_EQ(Run({"--status", SetupPath}, &out, &err), 0) << out;
}
