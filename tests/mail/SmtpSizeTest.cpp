#include "mail/MailAttachment.h"
#include "mail/MailMessage.h"
#include "mail/SMTPConnection.h"
#include "mail/SmtpAuth.h"
#include "support/ScriptedSmtpPeer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>

namespace turnpost {
namespace {

using test::ScriptedSmtpPeer;
using test::TempDir;

// The value of the SIZE parameter in a MAIL FROM line; -1 without one.
long long DeclaredSize(const std::string& mailFrom)
{
    const auto at = mailFrom.find(" SIZE=");
    return at == std::string::npos ? -1 : std::stoll(mailFrom.substr(at + 6));
}

std::string CommandStarting(const ScriptedSmtpPeer& peer, const std::string& prefix)
{
    for (const std::string& line : peer.Commands())
        if (line.rfind(prefix, 0) == 0)
            return line;
    return {};
}

TEST(SmtpSizeTest, ReadsTheLimitTheServerAnnounces)
{
    struct Case
    {
        const char* Reply;
        bool Size;
        std::uint64_t Limit;
    };
    const Case cases[] = {
        {"250-peer\r\n250 SIZE 35882577", true, 35882577},
        {"250-peer\r\n250 size", true, 0},
        {"250-peer\r\n250 SIZE 0", true, 0},
        {"250-peer\r\n250 SIZE 12x", true, 0},
        {"250-peer\r\n250 SIZE 99999999999999999999999", true, 0}, // past 64 bits
        {"250-peer\r\n250 SIZES 10", false, 0},
        {"250-peer\r\n250 8BITMIME", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Reply);
        const SmtpExtensions extensions = SmtpExtensions::Parse(c.Reply);
        EXPECT_EQ(extensions.Size, c.Size);
        EXPECT_EQ(extensions.SizeLimit, c.Limit);
    }
}

TEST(SmtpSizeTest, TheRefusalRoundsSoThatTheMessageNeverSeemsToFit)
{
    EXPECT_EQ(OversizeRefusal(45'000'001, 35'882'577),
              "not sent: the message is 45.1 MB, the server takes at most 35.8 MB");
    EXPECT_EQ(OversizeRefusal(1'000'001, 1'000'000),
              "not sent: the message is 1.1 MB, the server takes at most 1.0 MB");
    EXPECT_EQ(OversizeRefusal(1'050'000, 1'000'000),
              "not sent: the message is 1.1 MB, the server takes at most 1.0 MB");
}

// The declared size is the count of bytes between the 354 and the end-of-data line, for every shape of
// message: plain and quoted-printable text, dot-stuffed lines, attachments whose base64 ends at every
// point of a line and spans several read slices.
TEST(SmtpSizeTest, DeclaresTheExactSizeOfWhatIsSent)
{
    TempDir dir;
    struct Case
    {
        const char* Name;
        std::string Body;
        std::vector<std::size_t> Files;
    };
    const Case cases[] = {
        {"plain text", "Your turn.\n.\n..dots\n", {}},
        {"encoded text", "Tour n\xC3\xA9\n.\n", {}},
        {"attachments", "Turns.\n.hidden\n", {0, 1, 57, 58}},
        {"several slices", "", {2 * CMailAttachment::SliceSize + 59}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::unique_ptr<CMailAttachment>> attachments;
        CMailMessage message;
        message.From = CMailAddress::FromMailbox("Host <host@example.org>");
        message.AddRecipient(CMailAddress("p1@example.org"));
        message.Subject = "Turn 2401";
        message.SetBody(c.Body);
        for (const std::size_t size : c.Files) {
            attachments.push_back(std::make_unique<CMailAttachment>());
            ASSERT_TRUE(attachments.back()->Open(
                dir.Write("f" + std::to_string(attachments.size()), std::string(size, '.'))));
            message.AddAttachment(*attachments.back());
        }

        ScriptedSmtpPeer peer;
        peer.Send("220 hi\r\n")
            .On("EHLO", "250-peer\r\n250 SIZE 100000000\r\n")
            .On("MAIL FROM:", "250 ok\r\n")
            .On("RCPT TO:", "250 ok\r\n")
            .On("DATA", "354 go\r\n")
            .ExpectData()
            .Send("250 queued\r\n")
            .On("QUIT", "221 bye\r\n");
        peer.Start();
        CSMTPConnection connection;
        connection.SetTimeout(5000);
        connection.SetSmtpUtf8Wanted(true); // greets with EHLO without TLS or a login
        ASSERT_TRUE(connection.Connect(peer.Address()));
        EXPECT_TRUE(connection.OffersSize());
        ASSERT_TRUE(connection.SendMessage(message)) << connection.GetError().Reply;
        connection.Disconnect();
        peer.Wait();
        EXPECT_TRUE(peer.Mismatches().empty());
        const std::string data = peer.Data(); // ends with the end-of-data line ".\r\n"
        EXPECT_EQ(DeclaredSize(CommandStarting(peer, "MAIL FROM:")), static_cast<long long>(data.size() - 3));
    }
}

TEST(SmtpSizeTest, NoSizeIsDeclaredWhereTheServerDoesNotAnnounceIt)
{
    struct Case
    {
        const char* Name;
        bool Ehlo;
        std::string Greeting;
    };
    const Case cases[] = {
        {"EHLO without SIZE", true, "250-peer\r\n250 8BITMIME\r\n"},
        {"HELO", false, "250 peer\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedSmtpPeer peer;
        peer.Send("220 hi\r\n")
            .On(c.Ehlo ? "EHLO" : "HELO", c.Greeting)
            .On("MAIL FROM:", "250 ok\r\n")
            .On("RCPT TO:", "250 ok\r\n")
            .On("DATA", "354 go\r\n")
            .ExpectData()
            .Send("250 queued\r\n")
            .On("QUIT", "221 bye\r\n");
        peer.Start();
        CSMTPConnection connection;
        connection.SetTimeout(5000);
        connection.SetSmtpUtf8Wanted(c.Ehlo);
        ASSERT_TRUE(connection.Connect(peer.Address()));
        CMailMessage message;
        message.From = CMailAddress("host@example.org");
        message.AddRecipient(CMailAddress("p1@example.org"));
        message.SetBody("Your turn.");
        ASSERT_TRUE(connection.SendMessage(message)) << connection.GetError().Reply;
        connection.Disconnect();
        peer.Wait();
        EXPECT_TRUE(peer.Mismatches().empty());
        EXPECT_EQ(CommandStarting(peer, "MAIL FROM:"), "MAIL FROM:<host@example.org>");
    }
}

// A message over the announced limit is refused before its MAIL FROM, and the connection carries the
// next message.
TEST(SmtpSizeTest, AMessageOverTheLimitIsNotUploaded)
{
    TempDir dir;
    CMailAttachment large;
    ASSERT_TRUE(large.Open(dir.Write("alpha.m1", std::string(900'000, 't'))));
    CMailMessage big;
    big.From = CMailAddress("host@example.org");
    big.AddRecipient(CMailAddress("p1@example.org"));
    big.AddAttachment(large);
    CMailMessage small;
    small.From = CMailAddress("host@example.org");
    small.AddRecipient(CMailAddress("p2@example.org"));
    small.SetBody("Your turn.");

    ScriptedSmtpPeer peer;
    peer.Send("220 hi\r\n")
        .On("EHLO", "250-peer\r\n250 SIZE 1000000\r\n")
        .On("RSET", "250 ok\r\n")
        .On("MAIL FROM:<host@example.org>", "250 ok\r\n")
        .On("RCPT TO:<p2@example.org>", "250 ok\r\n")
        .On("DATA", "354 go\r\n")
        .ExpectData()
        .Send("250 queued\r\n")
        .On("QUIT", "221 bye\r\n");
    peer.Start();
    CSMTPConnection connection;
    connection.SetTimeout(5000);
    connection.SetSmtpUtf8Wanted(true);
    ASSERT_TRUE(connection.Connect(peer.Address()));
    EXPECT_FALSE(connection.SendMessage(big));
    EXPECT_EQ(connection.GetError().Text, "not sent: the message is 1.3 MB, the server takes at most 1.0 MB");
    ASSERT_TRUE(connection.IsReusable());
    ASSERT_TRUE(connection.Reset());
    EXPECT_TRUE(connection.SendMessage(small)) << connection.GetError().Reply;
    connection.Disconnect();
    peer.Wait();
    EXPECT_TRUE(peer.Mismatches().empty());
    EXPECT_EQ(peer.Received().find("p1@example.org"), std::string::npos);
    EXPECT_EQ(peer.Received().find("alpha.m1"), std::string::npos);
}

} // namespace
} // namespace turnpost
