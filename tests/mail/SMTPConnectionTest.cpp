#include "mail/SMTPConnection.h"
#include "mail/MailAttachment.h"
#include "mail/MailMessage.h"
#include "platform/LastError.h"
#include "support/ScriptedSmtpPeer.h"

#include <gtest/gtest.h>

#include <functional>

namespace turnpost {
namespace {

using test::ScriptedSmtpPeer;

constexpr int ShortTimeout = 300;

CMailMessage SimpleMessage(std::vector<std::string> recipients = {"player@example.org"})
{
    CMailMessage message;
    message.From = CMailAddress("host@example.org");
    message.Subject = "Turn";
    for (auto& to : recipients)
        message.AddRecipient(CMailAddress(to));
    message.SetBody("Turn attached.");
    return message;
}

TEST(SMTPConnectionTest, SpeaksTheWholeDialogue)
{
    ScriptedSmtpPeer peer;
    peer.Accepting(2);
    peer.Start();
    CSMTPConnection connection;
    connection.SetTimeout(5000);
    ASSERT_TRUE(connection.Connect(peer.Address())) << GetLastError();
    ASSERT_TRUE(connection.SendMessage(SimpleMessage({"a@example.org", " b@example.org "})))
        << connection.GetError().Reply;
    EXPECT_TRUE(connection.Disconnect());
    peer.Wait();
    EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
    const std::vector<std::string>& commands = peer.Commands();
    ASSERT_EQ(commands.size(), 6u);
    // HELO carries a domain name or, when the host has none, our address literal.
    EXPECT_TRUE(commands[0] == "HELO [127.0.0.1]" || commands[0].find('.') != std::string::npos)
        << commands[0];
    EXPECT_EQ(commands[1], "MAIL FROM:<host@example.org>");
    EXPECT_EQ(commands[2], "RCPT TO:<a@example.org>");
    EXPECT_EQ(commands[3], "RCPT TO:<b@example.org>");
    EXPECT_EQ(commands[4], "DATA");
    EXPECT_EQ(commands[5], "QUIT");
    EXPECT_NE(peer.Data().find("\r\n\r\nTurn attached.\r\n.\r\n"), std::string::npos) << peer.Data();
}

TEST(SMTPConnectionTest, ConnectsOverIpv6WithBracketedAddress)
{
    ScriptedSmtpPeer peer(true);
    peer.Send("220 hi\r\n").On("HELO ", "250 ok\r\n").On("QUIT", "221 bye\r\n");
    peer.Start();
    CSMTPConnection connection;
    ASSERT_TRUE(connection.Connect(peer.Address())) << GetLastError();
    EXPECT_TRUE(connection.Disconnect());
    peer.Wait();
    ASSERT_FALSE(peer.Commands().empty());
    EXPECT_TRUE(peer.Commands()[0] == "HELO [IPv6:::1]" || peer.Commands()[0].find('.') != std::string::npos);
}

// Replies however they are cut up on the way: the reader must put them together and keep what
// follows a complete reply for the next one.
TEST(SMTPConnectionTest, AssemblesRepliesFromPieces)
{
    struct Case
    {
        const char* Name;
        std::function<void(ScriptedSmtpPeer&)> Greeting;
    };
    const Case cases[] = {
        {"one piece", [](ScriptedSmtpPeer& p) { p.Send("220 hi\r\n"); }},
        {"split code",
         [](ScriptedSmtpPeer& p) {
             p.SendPieces({"2", "20 h", "i\r", "\n"});
         }},
        {"multi-line in one piece",
         [](ScriptedSmtpPeer& p) { p.Send("220-first\r\n220-second\r\n220 last\r\n"); }},
        {"multi-line in pieces",
         [](ScriptedSmtpPeer& p) {
             p.SendPieces({"220-first\r\n", "220-sec", "ond\r\n220", " last\r\n"});
         }},
        {"bare code line", [](ScriptedSmtpPeer& p) { p.Send("220-x\r\n220\r\n"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedSmtpPeer peer;
        c.Greeting(peer);
        peer.On("HELO ", "250-peer\r\n250 8BITMIME\r\n").On("QUIT", "221 bye\r\n");
        peer.Start();
        CSMTPConnection connection;
        connection.SetTimeout(5000);
        EXPECT_TRUE(connection.Connect(peer.Address()))
            << GetLastError() << " " << connection.GetError().Reply;
        EXPECT_EQ(connection.GetReplyText().substr(0, 3), "250");
        EXPECT_TRUE(connection.Disconnect());
        peer.Wait();
        EXPECT_TRUE(peer.Mismatches().empty());
    }
}

TEST(SMTPConnectionTest, TimeOutCountsFromTheLastPiece)
{
    // Each pause is within the time-out, all of them together are not.
    ScriptedSmtpPeer peer;
    peer.SendPieces({"220-a\r\n", "220-b\r\n", "220-c\r\n", "220 d\r\n"}, 400).On("HELO", "250 ok\r\n");
    peer.On("QUIT", "221 bye\r\n");
    peer.Start();
    CSMTPConnection connection;
    connection.SetTimeout(1000);
    EXPECT_TRUE(connection.Connect(peer.Address())) << GetLastError();
    EXPECT_TRUE(connection.Disconnect());
    EXPECT_FALSE(connection.AwaitReply(250)); // nothing left to wait on
    EXPECT_EQ(GetLastError(), 10057u);
}

TEST(SMTPConnectionTest, KeepsBytesOfTheNextReply)
{
    // The server answers HELO before it is asked (pipelined by mistake); nothing may be lost.
    ScriptedSmtpPeer peer;
    peer.Send("220 hi\r\n250 early\r\n").Expect("HELO ").On("QUIT", "221 bye\r\n");
    peer.Start();
    CSMTPConnection connection;
    connection.SetTimeout(5000);
    EXPECT_TRUE(connection.Connect(peer.Address())) << connection.GetError().Reply;
    EXPECT_EQ(connection.GetReplyText(), "250 early");
    EXPECT_TRUE(connection.Disconnect());
}

TEST(SMTPConnectionTest, RefusedGreetingStillSendsQuit)
{
    ScriptedSmtpPeer peer;
    peer.Send("554-no service\r\n554 go away\r\n").On("QUIT", "221 bye\r\n");
    peer.Start();
    CSMTPConnection connection;
    EXPECT_FALSE(connection.Connect(peer.Address()));
    EXPECT_EQ(GetLastError(), 10043u);
    EXPECT_EQ(connection.GetError().Reply, "554-no service\r\n554 go away");
    peer.Wait();
    EXPECT_TRUE(peer.Mismatches().empty());
    ASSERT_EQ(peer.Commands().size(), 1u);
    EXPECT_EQ(peer.Commands()[0], "QUIT");
}

// Faults while connecting: the error number and the kept reply text.
TEST(SMTPConnectionTest, ReportsGreetingFaults)
{
    struct Case
    {
        const char* Name;
        std::function<void(ScriptedSmtpPeer&)> Script;
        std::uint32_t Error;
        std::string Reply;
    };
    const std::string longLine(1200, 'x');
    const Case cases[] = {
        {"closed before greeting", [](ScriptedSmtpPeer& p) { p.Close(); }, 10054, ""},
        {"closed after half a greeting", [](ScriptedSmtpPeer& p) { p.Send("220 hal").Close(); }, 10054,
         "220 hal"},
        {"closed at HELO", [](ScriptedSmtpPeer& p) { p.Send("220 hi\r\n").Expect("HELO").Close(); }, 10054,
         ""},
        {"never answers", [](ScriptedSmtpPeer&) {}, 10060, ""},
        {"stops mid-reply", [](ScriptedSmtpPeer& p) { p.Send("220-one\r\n22"); }, 10060, "220-one\r\n22"},
        {"garbage", [](ScriptedSmtpPeer& p) { p.Send("hello there\r\n"); }, 10043, "hello there"},
        {"over-long line", [&](ScriptedSmtpPeer& p) { p.Send(longLine); }, 10043, longLine},
        {"HELO refused", [](ScriptedSmtpPeer& p) { p.Send("220 hi\r\n").On("HELO", "501 bad name\r\n"); },
         10043, "501 bad name"},
        {"mixed codes", [](ScriptedSmtpPeer& p) { p.Send("220-hi\r\n250 ok\r\n"); }, 10043,
         "220-hi\r\n250 ok"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedSmtpPeer peer;
        c.Script(peer);
        peer.Start();
        CSMTPConnection connection;
        connection.SetTimeout(ShortTimeout);
        EXPECT_FALSE(connection.Connect(peer.Address()));
        EXPECT_EQ(GetLastError(), c.Error);
        EXPECT_EQ(connection.GetError().Reply, c.Reply);
        EXPECT_FALSE(connection.IsConnected());
    }
}

// Faults during the message: which step failed decides what was sent, and the numbers say why.
TEST(SMTPConnectionTest, ReportsDialogueFaults)
{
    struct Case
    {
        const char* Name;
        std::function<void(ScriptedSmtpPeer&)> AfterHelo;
        std::uint32_t Error;
        std::uint32_t WaitError;
        std::string Reply;
        std::size_t CommandsSent; // after HELO
        SmtpStep Step;
    };
    const Case cases[] = {
        {"closed at MAIL", [](ScriptedSmtpPeer& p) { p.Expect("MAIL").Close(); }, 10054, 10054, "", 1,
         SmtpStep::Mail},
        {"closed at RCPT", [](ScriptedSmtpPeer& p) { p.On("MAIL", "250 ok\r\n").Expect("RCPT").Close(); },
         10054, 10054, "", 2, SmtpStep::Rcpt},
        {"closed at DATA",
         [](ScriptedSmtpPeer& p) {
             p.On("MAIL", "250 ok\r\n").On("RCPT", "250 ok\r\n").Expect("DATA").Close();
         },
         10054, 10054, "", 3, SmtpStep::Data},
        {"closed after the message",
         [](ScriptedSmtpPeer& p) {
             p.On("MAIL", "250 ok\r\n")
                 .On("RCPT", "250 ok\r\n")
                 .On("DATA", "354 go\r\n")
                 .ExpectData()
                 .Close();
         },
         10054, 10054, "", 3, SmtpStep::EndOfData},
        {"sender refused", [](ScriptedSmtpPeer& p) { p.On("MAIL", "553 5.1.8 no such sender\r\n"); }, 22,
         10043, "553 5.1.8 no such sender", 1, SmtpStep::Mail},
        {"no answer to RCPT", [](ScriptedSmtpPeer& p) { p.On("MAIL", "250 ok\r\n").Expect("RCPT"); }, 22,
         10060, "", 2, SmtpStep::Rcpt},
        {"message refused",
         [](ScriptedSmtpPeer& p) {
             p.On("MAIL", "250 ok\r\n")
                 .On("RCPT", "250 ok\r\n")
                 .On("DATA", "354 go\r\n")
                 .ExpectData()
                 .Send("554-5.7.1 rejected\r\n554 5.7.1 spam\r\n");
         },
         22, 10043, "554-5.7.1 rejected\r\n554 5.7.1 spam", 3, SmtpStep::EndOfData},
        {"251 is not 250", [](ScriptedSmtpPeer& p) { p.On("MAIL", "251 ok\r\n"); }, 22, 10043, "251 ok", 1,
         SmtpStep::Mail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedSmtpPeer peer;
        peer.Send("220 hi\r\n").On("HELO", "250 ok\r\n");
        c.AfterHelo(peer);
        peer.Start();
        CSMTPConnection connection;
        connection.SetTimeout(ShortTimeout);
        ASSERT_TRUE(connection.Connect(peer.Address()));
        EXPECT_FALSE(connection.SendMessage(SimpleMessage()));
        EXPECT_EQ(GetLastError(), c.Error);
        EXPECT_EQ(connection.GetError().Number, c.WaitError);
        EXPECT_EQ(connection.GetError().Reply, c.Reply);
        EXPECT_EQ(connection.GetError().Step, c.Step);
        connection.Disconnect();
        EXPECT_EQ(connection.GetError().Step, c.Step) << "QUIT must not hide the cause";
        peer.Wait();
        std::size_t sent = 0;
        for (const auto& command : peer.Commands())
            sent += command.rfind("HELO", 0) != 0 && command != "QUIT";
        EXPECT_EQ(sent, c.CommandsSent);
    }
}

TEST(SMTPConnectionTest, RefusedSecondRecipientEndsBeforeData)
{
    ScriptedSmtpPeer peer;
    peer.Send("220 hi\r\n")
        .On("HELO", "250 ok\r\n")
        .On("MAIL", "250 ok\r\n")
        .On("RCPT TO:<a@", "250 ok\r\n")
        .On("RCPT TO:<b@", "550 5.1.1 no such user\r\n")
        .On("QUIT", "221 bye\r\n");
    peer.Start();
    CSMTPConnection connection;
    connection.SetTimeout(ShortTimeout);
    ASSERT_TRUE(connection.Connect(peer.Address()));
    EXPECT_FALSE(connection.SendMessage(SimpleMessage({"a@example.org", "b@example.org"})));
    EXPECT_EQ(GetLastError(), 22u);
    EXPECT_EQ(connection.GetError().Reply, "550 5.1.1 no such user");
    EXPECT_TRUE(connection.Disconnect());
    peer.Wait();
    EXPECT_TRUE(peer.Mismatches().empty());
    EXPECT_EQ(peer.Commands().back(), "QUIT");
    EXPECT_EQ(peer.Received().find("DATA"), std::string::npos);
}

TEST(SMTPConnectionTest, RefusesBrokenAddressesBeforeAnyCommand)
{
    struct Case
    {
        std::string From;
        std::string To;
        std::string Reply;
    };
    const Case cases[] = {
        {"host@example.org", "a@example.org\r\nRCPT TO:<evil@example.org>",
         "Invalid e-mail address: a@example.org\\r\\nRCPT TO:<evil@example.org>"},
        {"host@example.org>\r\nDATA", "a@example.org", "Invalid e-mail address: host@example.org>\\r\\nDATA"},
        {"host@example.org", "two words@example.org", "Invalid e-mail address: two words@example.org"},
        {"host@example.org", "a@example.org\x01", "Invalid e-mail address: a@example.org\\x01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Reply);
        ScriptedSmtpPeer peer;
        peer.Send("220 hi\r\n").On("HELO", "250 ok\r\n").On("QUIT", "221 bye\r\n");
        peer.Start();
        CSMTPConnection connection;
        connection.SetTimeout(ShortTimeout);
        ASSERT_TRUE(connection.Connect(peer.Address()));
        CMailMessage message = SimpleMessage({c.To});
        message.From = CMailAddress(c.From);
        EXPECT_FALSE(connection.SendMessage(message));
        EXPECT_EQ(connection.GetError().Text, c.Reply);
        EXPECT_TRUE(connection.Disconnect());
        peer.Wait();
        EXPECT_TRUE(peer.Mismatches().empty());
        EXPECT_EQ(peer.Commands().size(), 2u); // HELO and QUIT only
    }
}

TEST(SMTPConnectionTest, SendsBodyAsValidData)
{
    ScriptedSmtpPeer peer;
    peer.Accepting(1);
    peer.Start();
    CSMTPConnection connection;
    connection.SetTimeout(5000);
    ASSERT_TRUE(connection.Connect(peer.Address()));
    CMailMessage message = SimpleMessage();
    message.SetBody(".hidden\nline\r.\n..two\r\n\r\n.\nend\n");
    ASSERT_TRUE(connection.SendMessage(message)) << connection.GetError().Reply;
    connection.Disconnect();
    peer.Wait();
    const std::string& data = peer.Data();
    const auto bodyStart = data.find("\r\n\r\n");
    ASSERT_NE(bodyStart, std::string::npos);
    EXPECT_EQ(data.substr(bodyStart + 4), "..hidden\r\nline\r\n..\r\n...two\r\n\r\n..\r\nend\r\n\r\n.\r\n");
}

TEST(SMTPConnectionTest, ConnectFailuresGiveSocketNumbers)
{
    // A port that nobody listens on: take a free one and let it go.
    std::uint16_t freePort = 0;
    {
        ScriptedSmtpPeer unused;
        freePort = unused.Port();
    }
    struct Case
    {
        std::string Server;
        std::uint32_t Error;
    };
    const Case cases[] = {
        {"127.0.0.1:" + std::to_string(freePort), 10061},
        {"no-such-host.invalid", 10022},
        {"", 10022},
        {"127.0.0.1:99999", 10022},
        {"[::1", 10022},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Server);
        CSMTPConnection connection;
        connection.SetTimeout(ShortTimeout);
        EXPECT_FALSE(connection.Connect(c.Server));
        EXPECT_EQ(GetLastError(), c.Error);
        EXPECT_FALSE(connection.Disconnect());
    }
}

} // namespace
} // namespace turnpost
