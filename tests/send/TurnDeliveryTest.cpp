#include "send/CheckRun.h"
#include "send/DeliveryLedger.h"
#include "send/SendRun.h"

#include "support/GameFiles.h"
#include "support/PythonSmtpServer.h"
#include "support/RecordingUserInterface.h"
#include "support/ScriptedSmtpPeer.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace turnpost {
namespace {

using test::GameFileBytes;
using test::GameFileFacts;
using test::ReadFileBytes;
using test::RecordingUserInterface;
using test::TempDir;

/// A saved four-player game at turn 42 whose players all get their turn file and the universe file.
struct TurnGame : ::testing::Test
{
    TempDir Dir;
    GameDocument Document;
    RecordingUserInterface Ui{&Document};

    TurnGame()
    {
        Document.FilePath = Dir.File("game.tpf");
        Document.CommandLineRun = 1;
        auto& setup = Document.Setup;
        setup.GameName = "Alpha";
        setup.UniverseFile = test::WriteConsistentGame(Dir, "g", 4);
        setup.SendUniverseFile = 1;
        setup.ReturnAddress = "host@example.org";
        setup.MessageSubject = "%G %Y for %P";
        setup.SmtpTimeout = 5000;
        for (int index = 0; index < 4; ++index)
            setup.Players[static_cast<std::size_t>(index)] = {
                1, "p" + std::to_string(index + 1) + "@example.org", Path(index + 1)};
    }
    std::string Path(int player) const { return Dir.File("g.m" + std::to_string(player)); }
    SendOutcome Send(bool resendFailed = false)
    {
        Ui.FillRows();
        return resendFailed ? OnResendFailed(Document, Ui) : OnSend(Document, Ui);
    }
    LedgerContents Ledger() const { return ReadLedger(Dir.File("game.tpf.ledger")); }
};

TEST_F(TurnGame, WrongTurnFilesAreRefusedAndTheRestAreMailedAndRecorded)
{
    test::SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    Document.Setup.SmtpServer = sink.Address();
    GameFileFacts stale;
    stale.PlayerIndex = 1;
    stale.Turn = 41;
    Dir.Write("g.m2", GameFileBytes(stale));
    GameFileFacts foreign;
    foreign.PlayerIndex = 3;
    foreign.GameId = 99;
    Dir.Write("g.m4", GameFileBytes(foreign));

    const SendOutcome outcome = Send();
    EXPECT_EQ(outcome.Failed, 2);
    EXPECT_EQ(outcome.Summary.substr(0, outcome.Summary.find("[Player 5]")),
              "[Player 1] Sent OK\n"
              "[Player 2] ** ERROR: " +
                  Path(2) +
                  " is for 2441, the host file is at 2442\n"
                  "[Player 3] Sent OK\n"
                  "[Player 4] ** ERROR: " +
                  Path(4) + " belongs to another game\n");

    const auto mails = test::ParseMails(sink.WaitForMessages(2));
    ASSERT_EQ(mails.size(), 2u);
    std::vector<std::string> to;
    for (const auto& mail : mails)
        to.insert(to.end(), mail.EnvelopeTo.begin(), mail.EnvelopeTo.end());
    std::sort(to.begin(), to.end());
    EXPECT_EQ(to, (std::vector<std::string>{"<p1@example.org>", "<p3@example.org>"}));

    // Every attempt is in the ledger, with the files as they went out and the server's last word.
    const LedgerContents ledger = Ledger();
    ASSERT_EQ(ledger.Attempts.size(), 4u);
    ASSERT_EQ(ledger.Runs.size(), 1u);
    EXPECT_EQ(ledger.Runs[0].Sent, 2);
    const PlayerAttempt& first = ledger.Attempts[0];
    EXPECT_EQ(first.Year, 2442);
    EXPECT_TRUE(first.Sent);
    EXPECT_EQ(first.Reply.substr(0, 3), "250");
    ASSERT_EQ(first.Files.size(), 2u);
    EXPECT_EQ(first.Files[0].Path, Document.Setup.UniverseFile);
    EXPECT_EQ(first.Files[1].Size, ReadFileBytes(Path(1)).size());
    EXPECT_EQ(first.Files[1].Sha256, test::Sha256Hex(ReadFileBytes(Path(1))));
    const auto sent = std::find_if(mails.begin(), mails.end(),
                                   [](const auto& m) { return m.EnvelopeTo[0] == "<p1@example.org>"; });
    ASSERT_NE(sent, mails.end());
    ASSERT_EQ(sent->Attachments.size(), 2u);
    EXPECT_EQ(sent->Attachments[1].Sha256, first.Files[1].Sha256);
    EXPECT_FALSE(ledger.Attempts[1].Sent);
    EXPECT_EQ(ledger.Attempts[1].Result,
              "[Player 2] ** ERROR: " + Path(2) + " is for 2441, the host file is at 2442");
}

TEST_F(TurnGame, AHostFileInUseMailsNobody)
{
    test::ScriptedSmtpPeer peer; // nothing may connect
    peer.Close();
    peer.Start();
    Document.Setup.SmtpServer = peer.Address();
    GameFileFacts host;
    host.FileType = 2;
    host.Flags = 0x02;
    Dir.Write("g.hst", GameFileBytes(host));

    const SendOutcome outcome = Send();
    EXPECT_EQ(outcome.Failed, 4);
    EXPECT_EQ(outcome.TurnNote, "Nobody mailed: the host file " + Dir.File("g.hst") +
                                    " is in use; a turn generation may be running");
    EXPECT_EQ(outcome.Summary.substr(0, outcome.Summary.find('\n') + 1), outcome.TurnNote + "\n");
    EXPECT_NE(outcome.Summary.find("[Player 4] ** ERROR: not mailed while the host file is in use"),
              std::string::npos);
    EXPECT_EQ(Ledger().Runs.at(0).Note, outcome.TurnNote);
}

TEST_F(TurnGame, AHostFileWithoutHeaderIsSaidOnceAndEverybodyIsMailed)
{
    test::SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    Document.Setup.SmtpServer = sink.Address();
    Dir.Write("g.hst", std::string("\x10\x20\x05\x00", 4));
    Document.Setup.SaveReportToFile = 1;
    Document.Setup.ReportFile = Dir.File("report.txt");

    const SendOutcome outcome = Send();
    EXPECT_EQ(outcome.Failed, 0);
    const std::string note = "Turn files not checked: " + Dir.File("g.hst") + " has no game file header\n";
    EXPECT_EQ(outcome.Summary.substr(0, note.size() + 19), note + "[Player 1] Sent OK\n");
    EXPECT_NE(ReadFileBytes(Dir.File("report.txt")).find("\r\n\r\nTurn files not checked: "),
              std::string::npos);
    EXPECT_EQ(sink.WaitForMessages(4).size(), 4u);
}

TEST_F(TurnGame, ResendFailedMailsOnlyThePlayerTheServerRefused)
{
    test::SmtpServerOptions options;
    options.RefuseOnce = "p2@example.org";
    test::PythonSmtpServer server(options);
    ASSERT_TRUE(server.IsRunning()) << server.Error();
    Document.Setup.SmtpServer = server.Address();

    const SendOutcome first = Send();
    EXPECT_EQ(first.Failed, 1);
    EXPECT_NE(first.Summary.find("[Player 2] ** ERROR: 550 5.1.1 Mailbox unavailable"), std::string::npos)
        << first.Summary;
    ASSERT_EQ(server.Record().Messages.size(), 3u);

    const SendOutcome again = Send(true);
    EXPECT_TRUE(again.Succeeded()) << again.Summary;
    EXPECT_EQ(again.Summary.substr(0, again.Summary.find("[Player 5]")),
              "[Player 1] skipped: delivered earlier\n"
              "[Player 2] Sent OK\n"
              "[Player 3] skipped: delivered earlier\n"
              "[Player 4] skipped: delivered earlier\n");
    const auto messages = server.Record().Messages;
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[3].To, std::vector<std::string>{"p2@example.org"});
    ASSERT_EQ(again.Attempts.size(), 1u);
    EXPECT_NE(again.Attempts[0].Reply.find("queued as"), std::string::npos);

    // A third resend has nobody left to mail.
    const SendOutcome third = Send(true);
    EXPECT_TRUE(third.Attempts.empty());
    EXPECT_EQ(server.Record().Messages.size(), 4u);
    EXPECT_EQ(Ledger().Runs.size(), 3u);
}

TEST_F(TurnGame, TheCheckSendsNoMailAndSaysWhatARunWouldDo)
{
    test::ScriptedSmtpPeer peer;
    peer.Send("220 hi\r\n").On("HELO", "250 ok\r\n").On("QUIT", "221 bye\r\n");
    peer.Start();
    Document.Setup.SmtpServer = peer.Address();
    Document.Setup.Players[2].EmailAddress = "p3 @example.org";
    GameFileFacts swapped;
    swapped.PlayerIndex = 0;
    Dir.Write("g.m2", GameFileBytes(swapped));

    Ui.FillRows();
    const CheckRunOutcome outcome = CheckSendRun(Document, Ui);
    peer.Wait();
    EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
    EXPECT_EQ(peer.Received().find("MAIL"), std::string::npos);
    EXPECT_EQ(outcome.Text(), "[Player 1] OK: p1@example.org, \"Alpha 2442 for 1\", g.xy + g.m1\n"
                              "[Player 2] ** ERROR: " +
                                  Path(2) +
                                  " is player 1's turn file\n"
                                  "[Player 3] ** ERROR: Invalid e-mail address: p3 @example.org\n"
                                  "[Player 4] OK: p4@example.org, \"Alpha 2442 for 4\", g.xy + g.m4\n"
                                  "[Server] OK: " +
                                  peer.Address() + ", no encryption\n");
    EXPECT_FALSE(outcome.WouldMailEverybody());
    EXPECT_FALSE(ReadLedger(Dir.File("game.tpf.ledger")).Found); // a check is no attempt
}

} // namespace
} // namespace turnpost
