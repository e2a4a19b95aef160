#include "send/SendSession.h"

#include "SharedConnectionRun.h"
#include "mail/MailMessage.h"
#include "send/SendRun.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>

namespace turnpost {
namespace {

using test::TempDir;

TEST(SendSession, ReadsAndEncodesTheUniverseFileOncePerRun)
{
    TempDir dir;
    const std::string path = dir.Write("game.xy", "abc");
    ConnectionSettings settings;
    CSendSession session(settings);
    const CMailAttachment* first = session.Universe(path);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetEncodedText(), "YWJj\r\n");
    EXPECT_EQ(first->GetName(), "game.xy");

    // Changed on disk during the run: every player still gets what the first one got, unread again.
    dir.Write("game.xy", "something else");
    const CMailAttachment* again = session.Universe(path);
    EXPECT_EQ(again, first);
    EXPECT_EQ(again->GetEncodedText(), "YWJj\r\n");

    // A file that cannot be read fails for every player, without a new try each time.
    CSendSession other(settings);
    EXPECT_EQ(other.Universe(dir.File("missing.xy")), nullptr);
    dir.Write("missing.xy", "late");
    EXPECT_EQ(other.Universe(dir.File("missing.xy")), nullptr);
}

using test::Greeted;
using test::ScriptedSmtpPeer;
using test::Transaction;
using SharedConnection = test::SharedConnectionRun;

TEST_F(SharedConnection, ThePlayersShareOneConnectionAndPipelineWhenOffered)
{
    for (const bool pipelining : {true, false}) {
        SCOPED_TRACE(pipelining ? "PIPELINING" : "no PIPELINING");
        ScriptedSmtpPeer peer;
        Greeted(peer, pipelining);
        for (int i = 1; i <= 3; ++i)
            Transaction(peer, i, pipelining);
        // A QUIT left unanswered does not undo what the server has accepted.
        peer.Expect("QUIT").Close();
        peer.Start();
        const SendOutcome outcome = Run(peer);
        peer.Wait();
        EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
        EXPECT_TRUE(outcome.Succeeded());
        EXPECT_EQ(outcome.Summary.substr(0, 57),
                  "[Player 1] Sent OK\n[Player 2] Sent OK\n[Player 3] Sent OK\n");
        EXPECT_EQ(peer.Connections(), 1);

        // MAIL, RCPT and DATA: one write with pipelining, one read each without.
        const auto& commands = peer.Commands();
        const auto& arrivals = peer.Arrivals();
        int mails = 0;
        for (std::size_t i = 0; i + 2 < commands.size(); ++i) {
            if (commands[i].rfind("MAIL FROM", 0) != 0)
                continue;
            ++mails;
            EXPECT_EQ(arrivals[i].Read == arrivals[i + 1].Read, pipelining) << commands[i + 1];
            EXPECT_EQ(arrivals[i + 1].Read == arrivals[i + 2].Read, pipelining) << commands[i + 2];
        }
        EXPECT_EQ(mails, 3);
    }
}

TEST_F(SharedConnection, RefusalsAndEndsOfTheConnection)
{
    struct Case
    {
        const char* name;
        std::function<void(ScriptedSmtpPeer&)> player2; // from player 2's MAIL on
        int connections;
        const char* summary;
    };
    const Case cases[] = {
        {"refused recipient: RSET and on",
         [](ScriptedSmtpPeer& peer) {
             peer.Expect("MAIL FROM")
                 .Expect("RCPT TO:<p2@")
                 .Expect("DATA")
                 .Send("250 ok\r\n550 5.1.1 no such user\r\n554 5.5.1 no valid recipients\r\n")
                 .On("RSET", "250 reset\r\n");
             Transaction(peer, 3, true).On("QUIT", "221 bye\r\n");
         },
         1, "[Player 2] ** ERROR: 550 5.1.1 no such user (reply to RCPT TO)\n[Player 3] Sent OK\n"},
        {"421 before the transaction: once more on a new connection",
         [](ScriptedSmtpPeer& peer) {
             peer.Expect("MAIL FROM")
                 .Expect("RCPT")
                 .Expect("DATA")
                 .Send("421 4.7.0 too many messages\r\n")
                 .Close()
                 .AcceptNext();
             Greeted(peer, true);
             Transaction(peer, 2, true);
             Transaction(peer, 3, true).On("QUIT", "221 bye\r\n");
         },
         2, "[Player 2] Sent OK\n[Player 3] Sent OK\n"},
        {"closed after the message: failed, the next one reconnects",
         [](ScriptedSmtpPeer& peer) {
             peer.Expect("MAIL FROM")
                 .Expect("RCPT")
                 .Expect("DATA")
                 .Send("250 ok\r\n250 ok\r\n354 go\r\n")
                 .ExpectData()
                 .Send("421 4.3.0 shutting down\r\n")
                 .Close()
                 .AcceptNext();
             Greeted(peer, true);
             Transaction(peer, 3, true).On("QUIT", "221 bye\r\n");
         },
         2, "[Player 2] ** ERROR: 421 4.3.0 shutting down\n[Player 3] Sent OK\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSmtpPeer peer;
        Greeted(peer, true);
        Transaction(peer, 1, true);
        c.player2(peer);
        peer.Start();
        const SendOutcome outcome = Run(peer);
        peer.Wait();
        EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
        EXPECT_EQ(peer.Connections(), c.connections);
        EXPECT_NE(outcome.Summary.find(std::string("[Player 1] Sent OK\n") + c.summary), std::string::npos)
            << outcome.Summary;
    }
}

TEST_F(SharedConnection, ALongPauseClosesTheConnectionForTheNextMessage)
{
    ScriptedSmtpPeer peer;
    Greeted(peer, false);
    Transaction(peer, 1, false);
    Transaction(peer, 2, false).On("QUIT", "221 bye\r\n").AcceptNext();
    Greeted(peer, false);
    Transaction(peer, 3, false).On("QUIT", "221 bye\r\n");
    peer.Start();

    ConnectionSettings settings;
    settings.Server = peer.Address();
    settings.User = "host";
    settings.Password = "secret";
    settings.Timeout = 3000;
    CSendSession session(settings);
    std::string error;
    for (int i = 1; i <= 3; ++i) {
        CMailMessage message;
        message.From = CMailAddress("host@example.org");
        message.AddRecipient(CMailAddress("p" + std::to_string(i) + "@example.org"));
        EXPECT_TRUE(session.Deliver(message, error, "Player " + std::to_string(i))) << error;
        session.BeforePause(i == 1 ? CSendSession::LongestIdle : CSendSession::LongestIdle + 1);
    }
    session.Close();
    peer.Wait();
    EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
    EXPECT_EQ(peer.Connections(), 2);
}

TEST_F(SharedConnection, APlainSetupKeepsOneConnectionPerPlayer)
{
    ::unsetenv("TURNPOST_SMTP_PASSWORD");
    document.Setup.SmtpUser.clear();
    ScriptedSmtpPeer peer;
    for (int i = 0; i < 3; ++i) {
        if (i > 0)
            peer.AcceptNext();
        peer.Accepting();
    }
    peer.Start();
    const SendOutcome outcome = Run(peer);
    peer.Wait();
    EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
    EXPECT_EQ(peer.Connections(), 3);
    EXPECT_EQ(outcome.Summary.substr(0, 57), "[Player 1] Sent OK\n[Player 2] Sent OK\n[Player 3] Sent OK\n");
}

} // namespace
} // namespace turnpost

namespace turnpost {
namespace {

// A plain dialogue waits its whole time-out for QUIT's reply; only a shared connection cuts it short.
TEST(QuitTimeout, OnlyASharedConnectionIsCutShort)
{
    const struct
    {
        std::int32_t Timeout;
        bool Keeps;
        std::int32_t Expected;
    } cases[] = {
        {15000, false, 15000},           {15000, true, CSendSession::QuitGrace}, {500, true, 500},
        {-1, false, DefaultSmtpTimeout}, {-1, true, CSendSession::QuitGrace},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CSendSession::QuitTimeout(c.Timeout, c.Keeps), c.Expected) << c.Timeout << " " << c.Keeps;
}

} // namespace
} // namespace turnpost
