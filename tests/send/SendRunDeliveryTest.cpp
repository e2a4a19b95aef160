#include "send/SendRun.h"

#include "send/RunLock.h"
#include "support/RecordingUserInterface.h"
#include "support/SampleSetup.h"
#include "support/ScriptedSmtpPeer.h"
#include "support/SilentListener.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <regex>

namespace turnpost {
namespace {

using test::RecordingUserInterface;
using test::ScriptedSmtpPeer;
using test::SilentListener;
using test::TempDir;

struct Delivery : ::testing::Test
{
    Delivery()
    {
        auto& setup = document.Setup;
        setup = test::SampleSetup({}, 0);
        setup.SendPlayerFile = 1;
        setup.SmtpTimeout = 3000;
    }

    SendOutcome Run()
    {
        ui.FillRows();
        return OnSend(document, ui);
    }

    TempDir dir;
    GameDocument document;
    RecordingUserInterface ui{&document};
};

TEST_F(Delivery, NothingSelectedOpensNoConnection)
{
    SilentListener listener;
    document.Setup.SmtpServer = listener.Address();
    const SendOutcome outcome = Run();
    EXPECT_TRUE(outcome.Succeeded());
    EXPECT_FALSE(listener.WasConnected());
}

TEST_F(Delivery, MissingPasswordOpensNoConnection)
{
    ::unsetenv("TURNPOST_SMTP_PASSWORD");
    SilentListener listener;
    auto& setup = document.Setup;
    setup.SmtpServer = listener.Address();
    setup.SmtpUser = "host";
    setup.SendPlayerFile = 0;
    setup.Players[0] = {1, "one@example.org", ""};
    setup.EmailReport = 1;
    const SendOutcome outcome = Run();
    EXPECT_EQ(outcome.Failed, 1);
    EXPECT_TRUE(outcome.ReportMailFailed);
    EXPECT_FALSE(listener.WasConnected());
}

TEST_F(Delivery, ServerAnswersBecomeThePlayersLine)
{
    struct Case
    {
        const char* name;
        std::function<void(ScriptedSmtpPeer&)> script;
        std::string line; // a pattern
    };
    const Case cases[] = {
        {"accepted", [](ScriptedSmtpPeer& peer) { peer.Accepting(); }, R"(\[Player 3\] Sent OK\n)"},
        {"recipient refused",
         [](ScriptedSmtpPeer& peer) {
             peer.Send("220 hi\r\n")
                 .On("HELO", "250 ok\r\n")
                 .On("MAIL FROM:<host@example.org>", "250 ok\r\n")
                 .On("RCPT TO:<three@example.org>", "550 5.1.1 no such user here\r\n")
                 .On("QUIT", "221 bye\r\n");
         },
         R"(\[Player 3\] \*\* ERROR: 550 5\.1\.1 no such user here\n)"},
        {"message refused",
         [](ScriptedSmtpPeer& peer) {
             peer.Send("220 hi\r\n")
                 .On("HELO", "250 ok\r\n")
                 .On("MAIL FROM", "250 ok\r\n")
                 .On("RCPT TO", "250 ok\r\n")
                 .On("DATA", "354 go\r\n")
                 .ExpectData()
                 .Send("554 5.7.1 spam\r\n")
                 .On("QUIT", "221 bye\r\n");
         },
         R"(\[Player 3\] \*\* ERROR: 554 5\.7\.1 spam\n)"},
        {"gone without a word",
         [](ScriptedSmtpPeer& peer) {
             peer.Send("220 hi\r\n")
                 .On("HELO", "250 ok\r\n")
                 .On("MAIL FROM", "250 ok\r\n")
                 .Expect("RCPT")
                 .Close();
         },
         R"(\[Player 3\] \*\* ERROR: the server closed the connection \(waiting for the reply to RCPT TO\)\n)"},
        {"greeting refused",
         [](ScriptedSmtpPeer& peer) { peer.Send("554 go away\r\n").On("QUIT", "221 bye\r\n"); },
         R"(\[Player 3\] \*\* ERROR: Connection error 10043 \(unexpected reply from the server\): 554 go away\n)"},
        {"greeting refused over two lines",
         [](ScriptedSmtpPeer& peer) {
             peer.Send("421-4.7.0 mx.example Error: too many connections\r\n421 4.7.0 from 203.0.113.5\r\n")
                 .On("QUIT", "221 bye\r\n");
         },
         R"(\[Player 3\] \*\* ERROR: Connection error 10043 \(unexpected reply from the server\): )"
         R"(421 4\.7\.0 mx\.example Error: too many connections from 203\.0\.113\.5\n)"},
        {"recipient refused over three lines",
         [](ScriptedSmtpPeer& peer) {
             peer.Send("220 hi\r\n")
                 .On("HELO", "250 ok\r\n")
                 .On("MAIL FROM", "250 ok\r\n")
                 .On("RCPT TO", "550-5.7.1 The user does not exist.\r\n550-5.7.1 Please check the\r\n"
                                "550 5.7.1 address.\r\n")
                 .On("QUIT", "221 bye\r\n");
         },
         R"(\[Player 3\] \*\* ERROR: 550 5\.7\.1 The user does not exist\. Please check the address\.\n)"},
        {"a positive reply where none belongs",
         [](ScriptedSmtpPeer& peer) {
             peer.Send("220 hi\r\n")
                 .On("HELO", "250 ok\r\n")
                 .On("MAIL FROM", "250 ok\r\n")
                 .On("RCPT TO", "250 ok\r\n")
                 .On("DATA", "250 2.0.0 Ok\r\n")
                 .On("QUIT", "221 bye\r\n");
         },
         R"(\[Player 3\] \*\* ERROR: unexpected reply to DATA: 250 2\.0\.0 Ok\n)"},
        {"silence after the message",
         [](ScriptedSmtpPeer& peer) {
             peer.Send("220 hi\r\n")
                 .On("HELO", "250 ok\r\n")
                 .On("MAIL FROM", "250 ok\r\n")
                 .On("RCPT TO", "250 ok\r\n")
                 .On("DATA", "354 go\r\n")
                 .ExpectData();
         },
         R"(\[Player 3\] \*\* ERROR: timed out waiting for the reply to end of data\n)"},
        {"control bytes and an endless reply",
         [](ScriptedSmtpPeer& peer) {
             peer.Send("220 hi\r\n")
                 .On("HELO", "250 ok\r\n")
                 .On("MAIL FROM", std::string("550 \x1b[31mred\0\x7f\r", 15) + std::string(600, 'x') + "\r\n")
                 .On("QUIT", "221 bye\r\n");
         },
         R"(\[Player 3\] \*\* ERROR: 550 \?\[31mred\?\?\?x{285}\.\.\.\n)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSmtpPeer peer;
        c.script(peer);
        peer.Start();
        RecordingUserInterface fresh{&document};
        auto& setup = document.Setup;
        setup.SmtpServer = peer.Address();
        setup.Players = {};
        setup.Players[2] = {1, "three@example.org", dir.Write("alpha.m3", "turn of player three")};
        setup.SmtpTimeout = 500;
        setup.SaveReportToFile = 1;
        setup.ReportFile = dir.Path() + "/report.txt";
        fresh.FillRows();
        const SendOutcome outcome = OnSend(document, fresh);
        peer.Wait();
        const std::string line = outcome.Summary.substr(outcome.Summary.find("[Player 3]"));
        EXPECT_TRUE(std::regex_search(line, std::regex("^" + c.line))) << line;
        // The report file carries the same single line, ended by one CR LF.
        const std::string report = test::ReadFileBytes(dir.File("report.txt"));
        const std::string reported = report.substr(report.find("[Player 3]"));
        EXPECT_EQ(reported.substr(0, reported.find("\r\n") + 1), line.substr(0, line.find('\n')) + "\r");
        EXPECT_EQ(report.find("\r\r"), std::string::npos);
        EXPECT_EQ(outcome.Failed, line.find("Sent OK") == std::string::npos ? 1 : 0);
        EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
    }
}

TEST_F(Delivery, RefusedConnectionNamesItsCause)
{
    std::string address;
    {
        SilentListener closed;
        address = closed.Address();
        closed.Close();
    }
    auto& setup = document.Setup;
    setup.SmtpServer = address;
    setup.Players[0] = {1, "one@example.org", ""};
    setup.Players[9] = {1, "ten@example.org", ""};
    const SendOutcome outcome = Run();
    EXPECT_NE(outcome.Summary.find("[Player 1] ** ERROR: Connection error 10061 (connection refused)\n"),
              std::string::npos)
        << outcome.Summary;
    EXPECT_NE(outcome.Summary.find("[Player 10] ** ERROR: Connection error 10061 (connection refused)\n"),
              std::string::npos)
        << "the run goes on after a failed player";
    EXPECT_EQ(outcome.Failed, 2);
}

TEST_F(Delivery, ReportMailHasItsOwnProgressAndCancel)
{
    // The run's window pumps 17 times; the report's pumps after "Sending report..." (18), then before
    // composing (19), before connecting (20) and before sending (21).
    struct Case
    {
        int cancelAtPump;
        bool connects;
        bool delivered;
    };
    for (const Case c :
         {Case{0, true, true}, Case{19, false, false}, Case{20, false, false}, Case{21, true, false}}) {
        SCOPED_TRACE(c.cancelAtPump);
        SilentListener listener;
        ScriptedSmtpPeer peer;
        if (c.delivered)
            peer.Accepting();
        else
            peer.Send("220 hi\r\n").On("HELO", "250 ok\r\n").On("QUIT", "221 bye\r\n");
        if (c.connects)
            peer.Start();
        RecordingUserInterface fresh{&document};
        fresh.CancelAtPump = c.cancelAtPump;
        document.Setup.SmtpServer = c.connects ? peer.Address() : listener.Address();
        document.Setup.EmailReport = 1;
        document.Setup.ReportAddress = "report@example.org";
        fresh.FillRows();
        const SendOutcome outcome = OnSend(document, fresh);

        EXPECT_FALSE(outcome.Cancelled) << "cancelling the report does not cancel the run";
        EXPECT_EQ(outcome.ReportMailFailed, !c.delivered);
        ASSERT_EQ(fresh.Progress.size(), 2u);
        const auto& report = fresh.Progress[1];
        EXPECT_EQ(report.Title, "Status");
        EXPECT_EQ(report.UpperBound, 4);
        EXPECT_EQ(report.Texts, std::vector<std::string>{"Sending report..."});
        if (c.cancelAtPump) {
            ASSERT_EQ(fresh.Messages.size(), 1u);
            EXPECT_EQ(fresh.Messages[0].Text, "Operation cancelled!");
        } else {
            EXPECT_EQ(report.Position, 4);
            EXPECT_TRUE(fresh.Messages.empty());
        }
        if (c.connects) {
            peer.Wait();
            EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
        } else {
            EXPECT_FALSE(listener.WasConnected());
        }
    }
}

TEST_F(Delivery, SetupBeingSentByAnotherRunMailsNobody)
{
    SilentListener listener;
    document.Setup.SmtpServer = listener.Address();
    document.Setup.Players[0] = {1, "p1@example.org", ""};
    document.FilePath = dir.Write("game.tpf", "the setup");
    CRunLock other;
    ASSERT_EQ(other.Take(document), CRunLock::Result::Locked);

    const SendOutcome outcome = Run();
    EXPECT_FALSE(outcome.Succeeded());
    EXPECT_FALSE(outcome.Started);
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, document.FilePath + " is being sent by another run");
    EXPECT_TRUE(ui.Progress.empty());
    EXPECT_FALSE(listener.WasConnected());
}

} // namespace
} // namespace turnpost
