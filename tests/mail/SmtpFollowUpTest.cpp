// What goes out behind an end of data on a pipelining connection: only commands a checked address
// can make, and a QUIT that Disconnect answers without sending another.
#include "mail/MailMessage.h"
#include "mail/SMTPConnection.h"
#include "support/ScriptedSmtpPeer.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::ScriptedSmtpPeer;

CMailMessage MessageTo(const std::string& to)
{
    CMailMessage message;
    message.From = CMailAddress("host@example.org");
    message.AddRecipient(CMailAddress(to));
    message.SetBody("Turn attached.");
    return message;
}

ScriptedSmtpPeer& FirstMessage(ScriptedSmtpPeer& peer)
{
    return peer.Send("220 hi\r\n")
        .On("EHLO ", "250-peer\r\n250 PIPELINING\r\n")
        .Expect("MAIL FROM:<host@example.org>")
        .Expect("RCPT TO:<one@example.org>")
        .Expect("DATA")
        .Send("250 ok\r\n250 ok\r\n354 go\r\n")
        .ExpectData();
}

TEST(SmtpFollowUp, ANextAddressThatCannotGoOutIsNotAnnounced)
{
    ScriptedSmtpPeer peer;
    FirstMessage(peer).Send("250 queued\r\n").On("QUIT", "221 bye\r\n");
    peer.Start();
    CSMTPConnection connection;
    connection.SetTimeout(5000);
    connection.SetSmtpUtf8Wanted(true); // greets with EHLO, to learn of PIPELINING
    ASSERT_TRUE(connection.Connect(peer.Address())) << connection.GetError().Reply;
    const CMailMessage next = MessageTo("two@example.org>\r\nRCPT TO:<victim@example.org");
    SmtpFollowUp followUp;
    followUp.Next = &next;
    EXPECT_TRUE(connection.SendMessage(MessageTo("one@example.org"), followUp)) << connection.GetError().Text;
    EXPECT_FALSE(connection.HasAnnounced());
    EXPECT_TRUE(connection.IsReusable());
    EXPECT_TRUE(connection.Disconnect());
    peer.Wait();
    EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
    EXPECT_EQ(peer.Received().find("victim"), std::string::npos);
}

TEST(SmtpFollowUp, QuitBehindTheLastMessageIsSentOnce)
{
    ScriptedSmtpPeer peer;
    FirstMessage(peer).Expect("QUIT").Send("250 queued\r\n221 bye\r\n");
    peer.Start();
    CSMTPConnection connection;
    connection.SetTimeout(5000);
    connection.SetSmtpUtf8Wanted(true);
    ASSERT_TRUE(connection.Connect(peer.Address())) << connection.GetError().Reply;
    SmtpFollowUp followUp;
    followUp.Quit = true;
    EXPECT_TRUE(connection.SendMessage(MessageTo("one@example.org"), followUp)) << connection.GetError().Text;
    EXPECT_EQ(connection.GetReplyText(), "250 queued");
    EXPECT_FALSE(connection.IsReusable()) << "no message may follow a QUIT";
    EXPECT_TRUE(connection.Disconnect());
    peer.Wait();
    EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
    std::size_t quits = 0;
    for (auto at = peer.Received().find("QUIT"); at != std::string::npos;
         at = peer.Received().find("QUIT", at + 1))
        ++quits;
    EXPECT_EQ(quits, 1u);
}

} // namespace
} // namespace turnpost
