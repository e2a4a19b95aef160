// Where the server offers PIPELINING, a player's end of data carries the next mail's envelope, or
// QUIT after the last, so that each mail costs one round trip; every reply still answers its own
// command, and a mail counts as sent only on the 250 to its own end of data.
#include "SharedConnectionRun.h"
#include "mail/MailMessage.h"
#include "send/SendSession.h"
#include "support/PythonSmtpServer.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>

namespace turnpost {
namespace {

using test::Greeted;
using test::ScriptedSmtpPeer;
using PipelinedRun = test::SharedConnectionRun;

int Count(const std::string& text, const std::string& part)
{
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

/// The group of MAIL, RCPT and DATA to rcpt, read without an answer.
ScriptedSmtpPeer& Group(ScriptedSmtpPeer& peer, const std::string& rcpt)
{
    return peer.Expect("MAIL FROM:<host@example.org>").Expect("RCPT TO:<" + rcpt + ">").Expect("DATA");
}

std::string Player(int n)
{
    return "p" + std::to_string(n) + "@example.org";
}

// The peer answers an end of data only once the next group, or QUIT, has come: a client that
// waited for the 250 first would wait for ever and time out.
TEST_F(PipelinedRun, EachMailOpensTheNextGroupAndTheLastCarriesQuit)
{
    document.Setup.EmailReport = 1;
    document.Setup.ReportAddress = "host@example.org";
    ScriptedSmtpPeer peer;
    Greeted(peer, true);
    Group(peer, Player(1)).Send("250 ok\r\n250 ok\r\n354 go\r\n").ExpectData();
    for (const std::string& next : {Player(2), Player(3), std::string("host@example.org")})
        Group(peer, next).Send("250 queued\r\n250 ok\r\n250 ok\r\n354 go\r\n").ExpectData();
    peer.Expect("QUIT").Send("250 queued\r\n221 bye\r\n");
    peer.Start();
    const SendOutcome outcome = Run(peer);
    peer.Wait();

    EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
    EXPECT_TRUE(outcome.Succeeded()) << outcome.Summary;
    EXPECT_FALSE(outcome.ReportMailFailed) << outcome.ReportMailError;
    EXPECT_EQ(outcome.Summary.substr(0, 57), "[Player 1] Sent OK\n[Player 2] Sent OK\n[Player 3] Sent OK\n");
    EXPECT_EQ(peer.Connections(), 1);

    // Each end of data came in one read with what follows it (the next MAIL, or QUIT), so from
    // one write.
    const auto& commands = peer.Commands();
    std::vector<int> following;
    for (std::size_t i = 0; i < commands.size(); ++i)
        if ((commands[i].rfind("MAIL FROM", 0) == 0 && i > 2) || commands[i] == "QUIT")
            following.push_back(peer.Arrivals()[i].Read);
    ASSERT_EQ(peer.DataEnds().size(), 4u);
    ASSERT_EQ(following.size(), 4u);
    for (std::size_t m = 0; m < 4; ++m)
        EXPECT_EQ(following[m], peer.DataEnds()[m].Read) << "after mail " << m + 1;
}

// A refusal of any command of a pipelined group fails that mail alone: the next player still goes,
// and nobody counts as sent without the 250 to his own end of data.
TEST_F(PipelinedRun, ARefusalInAGroupFailsOnlyItsMail)
{
    struct Case
    {
        const char* name;
        const char* replies; // to player 1's end of data and player 2's MAIL, RCPT and DATA
        bool contentSent;    // player 2's: only after a 354
        const char* player2;
    };
    const Case cases[] = {
        {"MAIL refused",
         "250 queued\r\n550 5.7.1 sender refused\r\n503 5.5.1 sender first\r\n"
         "503 5.5.1 sender first\r\n",
         false, "** ERROR: 550 5.7.1 sender refused (reply to MAIL FROM)"},
        {"RCPT refused",
         "250 queued\r\n250 ok\r\n550 5.1.1 no such user\r\n554 5.5.1 no valid recipients\r\n", false,
         "** ERROR: 550 5.1.1 no such user (reply to RCPT TO)"},
        {"DATA refused", "250 queued\r\n250 ok\r\n250 ok\r\n451 4.3.0 try later\r\n", false,
         "** ERROR: 451 4.3.0 try later (reply to DATA)"},
        {"end of data refused", "250 queued\r\n250 ok\r\n250 ok\r\n354 go\r\n", true,
         "** ERROR: 550 5.7.1 content refused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSmtpPeer peer;
        Greeted(peer, true);
        Group(peer, Player(1)).Send("250 ok\r\n250 ok\r\n354 go\r\n").ExpectData();
        Group(peer, Player(2)).Send(c.replies);
        if (c.contentSent) {
            // The refusal ends its transaction; player 3's group is already there, no RSET.
            peer.ExpectData();
            Group(peer, Player(3)).Send("550 5.7.1 content refused\r\n250 ok\r\n250 ok\r\n354 go\r\n");
        } else {
            // No 354, so no content: RSET clears the transaction, and player 3 opens his own group.
            peer.On("RSET", "250 reset\r\n");
            Group(peer, Player(3)).Send("250 ok\r\n250 ok\r\n354 go\r\n");
        }
        peer.ExpectData().Expect("QUIT").Send("250 queued\r\n221 bye\r\n");
        peer.Start();
        const SendOutcome outcome = Run(peer);
        peer.Wait();

        EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
        EXPECT_EQ(peer.Connections(), 1);
        const std::string lines =
            std::string("[Player 1] Sent OK\n[Player 2] ") + c.player2 + "\n[Player 3] Sent OK\n";
        EXPECT_EQ(outcome.Summary.substr(0, lines.size()), lines) << outcome.Summary;
        EXPECT_EQ(outcome.Failed, 1);
        EXPECT_EQ(Count(peer.Received(), "Subject: Alpha for player 2\r\n"), c.contentSent ? 1 : 0);
        EXPECT_EQ(Count(peer.Received(), "RSET"), c.contentSent ? 0 : 1);
    }
}

// Cancel after a player whose successor's envelope is already out: that player is not mailed, and
// the report goes on a connection cleared of the envelope.
TEST_F(PipelinedRun, CancelTakesBackTheAnnouncedEnvelope)
{
    struct Case
    {
        const char* name;
        const char* replies; // to player 1's end of data and player 2's MAIL, RCPT and DATA
        int connections;
    };
    const Case cases[] = {
        // The server waits for player 2's data: only a closed connection stops it without a mail.
        {"server waits for the data", "250 queued\r\n250 ok\r\n250 ok\r\n354 go\r\n", 2},
        {"server refused the envelope",
         "250 queued\r\n250 ok\r\n550 5.1.1 no such user\r\n554 5.5.1 none\r\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        document.Setup.EmailReport = 1;
        document.Setup.ReportAddress = "host@example.org";
        ScriptedSmtpPeer peer;
        Greeted(peer, true);
        Group(peer, Player(1)).Send("250 ok\r\n250 ok\r\n354 go\r\n").ExpectData();
        Group(peer, Player(2)).Send(c.replies);
        if (c.connections == 2) {
            peer.AcceptNext();
            Greeted(peer, true);
        } else {
            peer.On("RSET", "250 reset\r\n");
        }
        Group(peer, "host@example.org").Send("250 ok\r\n250 ok\r\n354 go\r\n").ExpectData();
        peer.Expect("QUIT").Send("250 queued\r\n221 bye\r\n");
        peer.Start();

        document.Setup.SmtpServer = peer.Address();
        test::RecordingUserInterface ui{&document};
        ui.FillRows();
        ui.CancelAtPump = 3; // seen as slot 2 starts
        const SendOutcome outcome = OnSend(document, ui);
        peer.Wait();

        EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
        EXPECT_TRUE(outcome.Cancelled);
        EXPECT_EQ(outcome.Summary, "[Player 1] Sent OK\n");
        EXPECT_EQ(outcome.Failed, 2);
        EXPECT_FALSE(outcome.ReportMailFailed) << outcome.ReportMailError;
        EXPECT_EQ(peer.Connections(), c.connections);
        EXPECT_EQ(Count(peer.Received(), "Subject: Alpha for player 2\r\n"), 0);
        EXPECT_EQ(Count(peer.Received(), "\r\n.\r\n"), 2) << "player 1 and the report only";
    }
}

// A mail over the server's SIZE limit whose envelope already went out is not uploaded: the
// envelope is taken back, that player fails with the sizes, and the next still goes.
TEST_F(PipelinedRun, AnOversizeMailBehindAnAnnouncedEnvelopeIsNotUploaded)
{
    const test::TempDir dir;
    document.Setup.CheckTurnFiles = 0;
    document.Setup.Players[1].PlayerFile = dir.Write("big.m2", std::string(20000, 'x'));
    ScriptedSmtpPeer peer;
    const auto greet = [&] {
        peer.Send("220 peer ready\r\n")
            .On("EHLO ", "250-peer\r\n250-PIPELINING\r\n250-SIZE 5000\r\n250 AUTH PLAIN\r\n")
            .On("AUTH PLAIN AGhvc3QAc2VjcmV0", "235 2.7.0 welcome\r\n");
    };
    greet();
    Group(peer, Player(1)).Send("250 ok\r\n250 ok\r\n354 go\r\n").ExpectData();
    // Player 2's envelope rode with player 1's end of data and the server waits for its content:
    // only a closed connection stops it without a mail.
    Group(peer, Player(2)).Send("250 queued\r\n250 ok\r\n250 ok\r\n354 go\r\n");
    peer.AcceptNext();
    greet();
    Group(peer, Player(3)).Send("250 ok\r\n250 ok\r\n354 go\r\n").ExpectData();
    peer.Expect("QUIT").Send("250 queued\r\n221 bye\r\n");
    peer.Start();
    const SendOutcome outcome = Run(peer);
    peer.Wait();

    EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
    EXPECT_EQ(outcome.Failed, 1);
    EXPECT_NE(
        outcome.Summary.find("[Player 1] Sent OK\n[Player 2] ** ERROR: not sent: the message is 0.1 MB"),
        std::string::npos)
        << outcome.Summary;
    EXPECT_NE(outcome.Summary.find("[Player 3] Sent OK\n"), std::string::npos) << outcome.Summary;
    EXPECT_EQ(Count(peer.Received(), "Subject: Alpha for player 2\r\n"), 0);
    EXPECT_EQ(peer.Connections(), 2);
}

// A session closed with an envelope out (Cancel with no report): no QUIT into the server's data.
TEST_F(PipelinedRun, ClosingWithAnEnvelopeOutEndsWithoutData)
{
    ScriptedSmtpPeer peer;
    Greeted(peer, true);
    Group(peer, Player(1)).Send("250 ok\r\n250 ok\r\n354 go\r\n").ExpectData();
    Group(peer, Player(2)).Send("250 queued\r\n250 ok\r\n250 ok\r\n354 go\r\n");
    peer.Start();

    ConnectionSettings settings;
    settings.Server = peer.Address();
    settings.User = "host";
    settings.Password = "secret";
    settings.Timeout = 3000;
    CSendSession session(settings);
    CMailMessage first;
    first.From = CMailAddress("host@example.org");
    first.AddRecipient(CMailAddress(Player(1)));
    CMailMessage second;
    second.From = CMailAddress("host@example.org");
    second.AddRecipient(CMailAddress(Player(2)));
    std::string error;
    session.FollowWith(second);
    EXPECT_TRUE(session.Deliver(first, error, "Player 1")) << error;
    session.Close();
    peer.Wait();

    EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
    EXPECT_EQ(Count(peer.Received(), "\r\n.\r\n"), 1);
    EXPECT_EQ(Count(peer.Received(), "QUIT"), 0);
}

// A real server that takes groups: three players and the report, each whole as a mail parser reads it.
TEST(PipelinedServer, DeliversThePlayersAndTheReport)
{
    test::SmtpServerOptions options;
    options.Pipelining = true;
    options.Login = "host:secret";
    options.AuthInClear = true;
    test::PythonSmtpServer server(options);
    ASSERT_TRUE(server.IsRunning()) << server.Error();
    test::TempDir dir;

    GameDocument document;
    document.Setup = test::SampleSetup(server.Address());
    document.Setup.SmtpUser = "host";
    document.Setup.SmtpTimeout = 10000;
    document.Setup.EmailReport = 1;
    document.Setup.ReportAddress = "host@example.org";
    for (int i = 0; i < 3; ++i)
        document.Setup.Players[static_cast<std::size_t>(i)].PlayerFile =
            dir.Write("alpha.m" + std::to_string(i + 1), std::string(3000 + i, static_cast<char>('a' + i)));
    document.CommandLineRun = 1;
    test::ScopedEnvironment password{"TURNPOST_SMTP_PASSWORD", std::string("secret")};
    test::RecordingUserInterface ui{&document};
    ui.FillRows();
    const SendOutcome outcome = OnSend(document, ui);
    EXPECT_TRUE(outcome.Succeeded()) << outcome.Summary;
    EXPECT_FALSE(outcome.ReportMailFailed) << outcome.ReportMailError;

    const auto record = server.Record();
    ASSERT_EQ(record.Messages.size(), 4u);
    std::vector<std::string> files;
    for (std::size_t m = 0; m < record.Messages.size(); ++m) {
        const std::string to = m < 3 ? Player(static_cast<int>(m) + 1) : "host@example.org";
        EXPECT_EQ(record.Messages[m].To, std::vector<std::string>{to});
        files.push_back(dir.Write("mail" + std::to_string(m) + ".eml", record.Messages[m].Content));
    }
    int quits = 0;
    for (const auto& line : record.Lines)
        quits += line.Text == "QUIT" ? 1 : 0;
    EXPECT_EQ(quits, 1);

    const auto parsed = test::ParseMails(files);
    ASSERT_EQ(parsed.size(), 4u);
    for (std::size_t m = 0; m < 3; ++m) {
        SCOPED_TRACE(m);
        ASSERT_TRUE(parsed[m].Ok) << parsed[m].Error;
        EXPECT_TRUE(parsed[m].Defects.empty()) << parsed[m].Defects.front();
        EXPECT_EQ(parsed[m].Subject, "Alpha for player " + std::to_string(m + 1));
        ASSERT_EQ(parsed[m].Attachments.size(), 1u);
        EXPECT_EQ(parsed[m].Attachments[0].Size, 3000 + m);
    }
    ASSERT_TRUE(parsed[3].Ok) << parsed[3].Error;
    EXPECT_NE(parsed[3].Text.find("[Player 3] Sent OK"), std::string::npos) << parsed[3].Text;
}

} // namespace
} // namespace turnpost
