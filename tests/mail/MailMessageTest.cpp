#include "mail/MailMessage.h"
#include "mail/MailAttachment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <regex>

namespace turnpost {
namespace {

// The date is the only part of the header that changes from call to call.
std::string WithoutDate(const std::string& header)
{
    static const std::regex date(
        "Date: [A-Z][a-z]{2}, [0-9]{2} [A-Z][a-z]{2} [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} [+-][0-9]{4}\r\n");
    EXPECT_TRUE(std::regex_search(header, date)) << header;
    // Every message has its own Message-ID, right after the date.
    static const std::regex id("Date: \\*\r\nMessage-ID: <[0-9]{14}\\.[0-9A-F]{32}@[a-z.]+>\r\n");
    const std::string masked = std::regex_replace(header, date, "Date: *\r\n");
    EXPECT_TRUE(std::regex_search(masked, id)) << masked;
    return std::regex_replace(masked, std::regex("Message-ID: <[^>]*>\r\n"), "Message-ID: *\r\n");
}

TEST(MailMessageTest, RendersAddresses)
{
    CMailAddress bare("a@example.org");
    EXPECT_EQ(bare.Render(), "a@example.org");
    bare.FriendlyName = "Alice";
    EXPECT_EQ(bare.Render(), "Alice <a@example.org>");
}

TEST(MailMessageTest, PlainHeaderHasNoMimeLines)
{
    CMailMessage message;
    message.From = CMailAddress("host@example.org");
    message.AddRecipient(CMailAddress("a@example.org"));
    CMailAddress named("b@example.org");
    named.FriendlyName = "Bob";
    EXPECT_EQ(message.AddRecipient(named), 1);
    message.Subject = "Game 2401";
    message.XMailer = "Turnpost 0.7";
    message.SetBody("Turn attached.");
    EXPECT_EQ(WithoutDate(message.GetHeader()),
              "From: host@example.org\r\nTo: a@example.org,Bob <b@example.org>\r\n"
              "Subject: Game 2401\r\nDate: *\r\nMessage-ID: *\r\nX-Mailer: Turnpost 0.7\r\n\r\n");
    EXPECT_EQ(message.GetTextPartHeader(), "");
    EXPECT_EQ(message.GetDataBody(), "Turn attached.");

    EXPECT_EQ(message.GetRecipientCount(), 2);
    EXPECT_EQ(message.GetRecipient(1).Render(), "Bob <b@example.org>");
}

TEST(MailMessageTest, MultipartLayout)
{
    test::TempDir dir;
    CMailAttachment universe;
    CMailAttachment failed;
    ASSERT_TRUE(universe.Load(dir.Write("game.xy", "abc")));
    EXPECT_FALSE(failed.Load(dir.File("game.m3")));

    CMailMessage message;
    message.From = CMailAddress("host@example.org");
    message.AddRecipient(CMailAddress("a@example.org"));
    message.Subject = "Turn";
    message.SetBody("Turn attached.");
    EXPECT_EQ(message.AddAttachment(universe), 0);
    EXPECT_EQ(message.AddAttachment(failed), 1);

    std::string content;
    EXPECT_TRUE(message.WriteContent([&](std::string_view piece) {
        content += piece;
        return true;
    }));
    const std::string wire = WithoutDate(content) + CMailMessage::EndOfData;
    EXPECT_EQ(wire, "From: host@example.org\r\n"
                    "To: a@example.org\r\n"
                    "Subject: Turn\r\n"
                    "Date: *\r\n"
                    "Message-ID: *\r\n"
                    "X-Mailer: Turnpost 0.7\r\n"
                    "MIME-Version: 1.0\r\n"
                    "Content-type: multipart/mixed; boundary=\"#BOUNDARY#\"\r\n"
                    "\r\n"
                    "\r\n"
                    "--#BOUNDARY#\r\n"
                    "Content-Type: text/plain; charset=us-ascii\r\n"
                    "Content-Transfer-Encoding: quoted-printable\r\n"
                    "\r\n"
                    "Turn attached.\r\n"
                    "\r\n"
                    "--#BOUNDARY#\r\n"
                    "Content-Type: application/octet-stream; name=game.xy\r\n"
                    "Content-Transfer-Encoding: base64\r\n"
                    "Content-Disposition: attachment; filename=game.xy\r\n"
                    "\r\n"
                    "YWJj\r\n"
                    "\r\n"
                    "\r\n"
                    "--#BOUNDARY#\r\n"
                    "Content-Type: application/octet-stream; name=\r\n"
                    "Content-Transfer-Encoding: base64\r\n"
                    "Content-Disposition: attachment; filename=\r\n"
                    "\r\n"
                    "\r\n"
                    "--#BOUNDARY#--\r\n"
                    ".\r\n");
}

TEST(MailMessageTest, HeaderValuesCannotAddHeaders)
{
    CMailMessage message;
    message.From = CMailAddress("host@example.org");
    message.From.FriendlyName = "Host\r\nBcc: x@example.org";
    message.AddRecipient(CMailAddress(" a@example.org "));
    message.Subject = "Turn\nBcc: victim@example.org\r";
    message.XMailer = "X\rY";
    const std::string header = WithoutDate(message.GetHeader());
    EXPECT_EQ(header,
              "From: \"Host  Bcc: x@example.org\" <host@example.org>\r\nTo: a@example.org\r\n"
              "Subject: Turn Bcc: victim@example.org \r\nDate: *\r\nMessage-ID: *\r\nX-Mailer: X Y\r\n\r\n");
}

TEST(MailMessageTest, NonAsciiTextIsDeclaredAndEncoded)
{
    CMailMessage message;
    message.From = CMailAddress("host@example.org");
    message.Subject = "Z\xC3\xBCge";
    message.SetBody("Gr\xC3\xBC\xC3\x9F"
                    "e");
    const std::string header = WithoutDate(message.GetHeader());
    EXPECT_NE(header.find("Subject: =?utf-8?B?WsO8Z2U=?=\r\n"), std::string::npos) << header;
    EXPECT_NE(header.find("MIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n"
                          "Content-Transfer-Encoding: quoted-printable\r\n\r\n"),
              std::string::npos)
        << header;
    EXPECT_EQ(message.GetDataBody(), "Gr=C3=BC=C3=9Fe");

    // A long subject is split into several encoded words, each on its own folded line, between characters.
    message.Subject.clear();
    for (int i = 0; i < 40; ++i)
        message.Subject += "\xC3\xBC";
    const std::string folded = message.GetHeader();
    const auto start = folded.find("Subject: ");
    const auto end = folded.find("\r\nDate:");
    const std::string subject = folded.substr(start, end - start);
    // 42 bytes fit in one word, so that "Subject: " and the word stay within 78 characters.
    EXPECT_EQ(subject, "Subject: =?utf-8?B?w7zDvMO8w7zDvMO8w7zDvMO8w7zDvMO8w7zDvMO8w7zDvMO8w7zDvMO8?=\r\n"
                       " =?utf-8?B?w7zDvMO8w7zDvMO8w7zDvMO8w7zDvMO8w7zDvMO8w7zDvMO8w7w=?=");
}

// The body on the wire: lines end with CR LF whatever the text used, periods at line starts are
// doubled after that, and the quoted-printable form is used where the headers declare it.
TEST(MailMessageTest, DataBodyIsValidSmtpData)
{
    struct Case
    {
        const char* Body;
        bool Multipart;
        std::string Data;
    };
    const std::string longLine(80, 'x');
    const Case cases[] = {
        {".hidden", false, "..hidden"},
        {"a\n.\nb", false, "a\r\n..\r\nb"},
        {"..two\r\n", false, "...two\r\n"},
        {"bare\rcr\n\rlf\r\n.", false, "bare\r\ncr\r\n\r\nlf\r\n.."},
        {"ends with CR LF\r\n", false, "ends with CR LF\r\n"},
        {"a = b", false, "a = b"},
        {"a = b\n.x", true, "a =3D b\r\n..x"},
        {"trailing blank \nend\t", true, "trailing blank=20\r\nend=09"},
        {"--#BOUNDARY#--", true, "=2D-#BOUNDARY#--"},
        {"tab\tinside", true, "tab\tinside"},
    };
    test::TempDir dir;
    CMailAttachment attachment;
    ASSERT_TRUE(attachment.Load(dir.Write("f", "x")));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Body);
        CMailMessage message;
        if (c.Multipart)
            message.AddAttachment(attachment);
        message.SetBody(c.Body);
        EXPECT_EQ(message.GetBody(), c.Body); // stored as given; the wire form is made when sent
        EXPECT_EQ(message.GetDataBody(), c.Data);
    }

    // Soft line breaks keep every encoded line at 76 characters or fewer.
    CMailMessage message;
    message.AddAttachment(attachment);
    message.SetBody(std::string(75, 'x') + "y\n" + std::string(76, 'x') + "y\n." + std::string(74, 'x') +
                    "=");
    EXPECT_EQ(message.GetDataBody(), std::string(75, 'x') + "y\r\n" + std::string(75, 'x') + "=\r\nxy\r\n.." +
                                         std::string(74, 'x') + "=\r\n=3D");

    // A line too long for SMTP turns even a plain ASCII message into an encoded one.
    CMailMessage plain;
    plain.SetBody(std::string(1000, 'x'));
    EXPECT_NE(plain.GetHeader().find("charset=us-ascii\r\nContent-Transfer-Encoding: quoted-printable"),
              std::string::npos);
    EXPECT_EQ(plain.GetDataBody().find(std::string(77, 'x')), std::string::npos);
}

TEST(MailMessageTest, AttachmentNamesAreQuotedWhenNeeded)
{
    test::TempDir dir;
    const struct
    {
        std::string Name;
        std::string Parameter;
    } cases[] = {
        {"game.m3", "filename=game.m3"},
        {"my game.m3", "filename=\"my game.m3\""},
        {"a\"b.m3", "filename=\"a\\\"b.m3\""},
        {"a\nBcc:.m3", "filename=\"a Bcc:.m3\""},
        {"\xC3\xA9t\xC3\xA9.xy", "filename*=utf-8''%C3%A9t%C3%A9.xy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        CMailAttachment attachment;
        ASSERT_TRUE(attachment.Load(dir.Write(c.Name, "x")));
        const std::string header = CMailMessage::GetAttachmentPartHeader(attachment);
        EXPECT_NE(header.find("attachment; " + c.Parameter + "\r\n"), std::string::npos) << header;
        EXPECT_EQ(header.find('\n', header.find("filename")),
                  header.find("\r\n", header.find("filename")) + 1);
    }
}

} // namespace
} // namespace turnpost
