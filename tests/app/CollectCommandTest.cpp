#include "mail/Base64.h"
#include "platform/Digest.h"
#include "setup/SetupFile.h"

#include "support/Dovecot.h"
#include "support/GameFiles.h"
#include "support/ProgramRun.h"
#include "support/RecordingUserInterface.h"
#include "support/SilentListener.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>

using namespace turnpost;
using namespace turnpost::test;

namespace {

/// The orders of one player of the game WriteConsistentGame makes (turn 42, the year 2442).
std::string OrderBytes(int playerIndex, std::uint16_t turn = 42)
{
    GameFileFacts facts;
    facts.FileType = 1;
    facts.PlayerIndex = playerIndex;
    facts.Turn = turn;
    facts.Size = 50 + static_cast<std::size_t>(playerIndex);
    return GameFileBytes(facts);
}

std::string OrdersMessage(const std::string& from, const std::string& id, const std::string& name,
                          const std::string& bytes)
{
    return "From: " + from + "\r\nTo: host@example.org\r\nSubject: orders\r\nMessage-ID: <" + id +
           ">\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
           "--b1\r\nContent-Type: text/plain\r\n\r\nMy orders.\r\n"
           "--b1\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
           "Content-Disposition: attachment; filename=\"" +
           name + "\"\r\n\r\n" + EncodeBase64Line(bytes) + "\r\n--b1--\r\n";
}

/// A saved three-player game at turn 42 whose orders come from a mailbox.
struct CollectCommand : ::testing::Test
{
    TempDir Dir;
    GameSetup Setup;
    std::string SetupPath;
    std::vector<std::string> Environment{"TURNPOST_IMAP_PASSWORD=", "XDG_CONFIG_HOME="};

    void SetUp() override
    {
        Setup.GameName = "Alpha";
        Setup.UniverseFile = WriteConsistentGame(Dir, "g", 3);
        Setup.ReturnAddress = "host@example.org";
        Setup.SmtpTimeout = 5000;
        Setup.CollectSecurity = 0;
        Setup.AcknowledgeOrders = 0;
        for (int index = 0; index < 3; ++index)
            Setup.Players[static_cast<std::size_t>(index)] = {
                1, "p" + std::to_string(index + 1) + "@example.org",
                Dir.File("g.m" + std::to_string(index + 1))};
        SetupPath = Dir.File("game.tpf");
        Environment[1] += Dir.File("config");
    }
    void Write()
    {
        RecordingUserInterface ui;
        ASSERT_TRUE(WriteSetupFile(SetupPath, Setup, ui));
    }
    int Run(const std::vector<std::string>& args, std::string* out = nullptr, std::string* err = nullptr)
    {
        ProgramRun program(Dir.Path(), args, Environment);
        const int status = program.Wait();
        if (out)
            *out = program.StdOut();
        if (err)
            *err = program.StdErr();
        return status;
    }
};

} // namespace

TEST_F(CollectCommand, WrongWordsEndWithStatusTwo)
{
    const std::vector<std::string> cases[] = {
        {"--collect"},
        {"--collect", "a.tpf", "--check", "a.tpf"},
        {"--collect", "a.tpf", "-X", "a.tpf"},
        {"--json", "--status", "a.tpf"},
    };
    for (const auto& words : cases) {
        std::string out, err;
        EXPECT_EQ(Run(words, &out, &err), 2) << words[0] << " " << words.size();
        EXPECT_EQ(err.rfind("turnpost: ", 0), 0u) << err;
        EXPECT_NE(err.find("Usage: turnpost"), std::string::npos);
        EXPECT_EQ(out, "");
    }
}

TEST_F(CollectCommand, AHostFileInUseStopsItBeforeTheMailbox)
{
    SilentListener mailbox;
    Setup.CollectServer = mailbox.Address();
    Setup.CollectUser = "host";
    Write();
    GameFileFacts host;
    host.FileType = 2;
    host.PlayerIndex = 31;
    host.Flags = 0x02; // the host program is generating the turn
    Dir.Write("g.hst", GameFileBytes(host));

    const std::string error = "Orders not collected: " + Dir.File("g.hst") + " is in use";
    std::string out, err;
    EXPECT_EQ(Run({"--collect", SetupPath}, &out, &err), 1);
    EXPECT_EQ(err, "turnpost: " + error + "\n");
    EXPECT_EQ(out, "");

    EXPECT_EQ(Run({"--collect", "--json", SetupPath}, &out, &err), 1);
    const auto report = nlohmann::json::parse(out);
    EXPECT_EQ(report["mode"], "collect");
    EXPECT_EQ(report["ok"], false);
    EXPECT_EQ(report["error"], error);
    EXPECT_EQ(report["orders"], nlohmann::json::array());
    EXPECT_FALSE(mailbox.WasConnected());

    // --status tells the same instead of judging orders against a turn being made.
    Run({"--status", SetupPath}, &out, &err);
    EXPECT_NE(out.find("\nOrders cannot be checked: " + Dir.File("g.hst") + " is in use\n"),
              std::string::npos)
        << out;
}

TEST_F(CollectCommand, CollectsFromTheMailboxWithAnAllowedPasswordCommand)
{
    Dovecot& server = Dovecot::Shared();
    if (!server.IsRunning())
        GTEST_SKIP() << server.Error();
    const std::string user = server.NewUser();
    Setup.CollectServer = "127.0.0.1:" + std::to_string(server.StartTlsPort());
    Setup.CollectUser = user;
    Setup.CollectPasswordCommand = "echo " + Dovecot::Password(user);
    Write();
    const std::string one = OrderBytes(0), two = OrderBytes(1), stale = OrderBytes(2, 41);
    ASSERT_TRUE(server.Save(user, "INBOX", OrdersMessage("p1@example.org", "m1", "g.x1", one)));
    ASSERT_TRUE(server.Save(user, "INBOX", OrdersMessage("p2@example.org", "m2", "g.x2", two)));
    ASSERT_TRUE(server.Save(user, "INBOX", OrdersMessage("p3@example.org", "m3", "g.x3", stale)));
    // Player 3 put last turn's orders into the game folder by hand: they do not count.
    Dir.Write("g.x3", stale);

    // The mailbox's password command needs the host's word, as the mail server's does.
    std::string out, err;
    EXPECT_EQ(Run({"--collect", SetupPath}, &out, &err), 1);
    EXPECT_NE(err.find("not approved: run turnpost --allow-command " + SetupPath), std::string::npos) << err;
    ASSERT_EQ(Run({"--allow-command", SetupPath}, &out, &err), 0) << err;
    EXPECT_NE(out.find("The password goes to: " + user + " at " + Setup.CollectServer +
                       " (IMAP no encryption)\nCommand (1 line):\n" + Setup.CollectPasswordCommand + "\n"),
              std::string::npos)
        << out;

    ASSERT_EQ(Run({"--collect", "--json", SetupPath}, &out, &err), 0) << err;
    const auto report = nlohmann::json::parse(out);
    EXPECT_EQ(report["mode"], "collect");
    EXPECT_EQ(report["ok"], true);
    EXPECT_EQ(report["year"], 2442);
    EXPECT_EQ(report["error"], "");
    EXPECT_EQ(report["summary"], "Orders in: 2 of 3; missing: player 3");
    EXPECT_EQ(report["orders_in"], nlohmann::json::parse("[1, 2]"));
    ASSERT_EQ(report["orders"].size(), 3u) << out;
    const auto& first = report["orders"][0];
    EXPECT_EQ(first["player"], 1);
    EXPECT_EQ(first["file"], "g.x1");
    EXPECT_EQ(first["size"], one.size());
    EXPECT_EQ(first["sha256"], turnpost::Sha256Hex(one));
    EXPECT_EQ(first["sender"], "p1@example.org");
    EXPECT_EQ(first["message_id"], "m1");
    EXPECT_EQ(first["result"], "taken");
    EXPECT_EQ(first["reason"], "");
    EXPECT_EQ(report["orders"][1]["file"], "g.x2");
    EXPECT_EQ(report["orders"][1]["result"], "taken");
    const auto& refused = report["orders"][2];
    EXPECT_EQ(refused["player"], 3);
    EXPECT_EQ(refused["result"], "refused");
    EXPECT_EQ(refused["reason"], "for turn 2441, the current turn is 2442");
    EXPECT_EQ(test::ReadFileBytes(Dir.File("g.x1")), one);
    EXPECT_EQ(test::ReadFileBytes(Dir.File("g.x2")), two);

    EXPECT_EQ(Run({"--status", SetupPath}, &out, &err), 1) << err;
    EXPECT_NE(out.find("Orders for 2442 in the game folder:\n"
                       "[Player 1] orders in\n"
                       "[Player 2] orders in\n"
                       "[Player 3] orders not counted: "),
              std::string::npos)
        << out;

    // Player 3 tries again; the text form tells each message and the summary.
    const std::string three = OrderBytes(2);
    ASSERT_TRUE(server.Save(user, "INBOX", OrdersMessage("p3@example.org", "m4", "g.x3", three)));
    ASSERT_EQ(Run({"--collect", SetupPath}, &out, &err), 0) << err;
    EXPECT_EQ(out.rfind("Message 4 from p3@example.org: g.x3: taken for player 3", 0), 0u) << out;
    EXPECT_NE(out.find("\nOrders in: 3 of 3\n"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
    // As a send shows its players: each line on standard error as it comes.
    EXPECT_NE(err.find("Message 4 from p3@example.org: g.x3: taken for player 3"), std::string::npos) << err;

    EXPECT_EQ(Run({"--status", SetupPath}, &out, &err), 1) << err;
    EXPECT_NE(out.find("[Player 3] orders in\n"), std::string::npos) << out;
}
