#include "mail/MailAttachment.h"
#include "mail/MailMessage.h"
#include "mail/SMTPConnection.h"
#include "platform/LastError.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <random>

namespace turnpost {
namespace {

using test::ParsedMail;
using test::SmtpSink;

using test::RandomBytes;

bool Deliver(const SmtpSink& sink, const CMailMessage& message, std::string& error)
{
    CSMTPConnection connection;
    connection.SetTimeout(10000);
    if (!connection.Connect(sink.Address())) {
        error = "connect: " + std::to_string(GetLastError());
        return false;
    }
    if (!connection.SendMessage(message)) {
        error = "send: " + connection.GetError().Reply;
        return false;
    }
    if (!connection.Disconnect()) {
        error = "quit: " + connection.GetError().Reply;
        return false;
    }
    return true;
}

// Every attachment must come out of a real mail parser byte for byte, around the line and group
// boundaries of the encoding and for a larger file.
TEST(SmtpDeliveryTest, AttachmentsArriveByteForByte)
{
    SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    test::TempDir dir;
    const std::size_t sizes[] = {0, 1, 2, 3, 56, 57, 58, 114, 300 * 1024 + 7};
    std::vector<std::string> contents;
    std::vector<CMailAttachment> attachments(std::size(sizes));
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        contents.push_back(RandomBytes(sizes[i], static_cast<unsigned>(i)));
        const std::string path =
            dir.Write("file" + std::to_string(sizes[i]) + ".m" + std::to_string(i + 1), contents[i]);
        ASSERT_TRUE(attachments[i].Load(path));
    }
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        CMailMessage message;
        message.From = CMailAddress("host@example.org");
        message.AddRecipient(CMailAddress("player@example.org"));
        message.Subject = "Size " + std::to_string(sizes[i]);
        message.SetBody("Turn attached.\n.\nBye\n");
        message.AddAttachment(attachments[i]);
        std::string error;
        ASSERT_TRUE(Deliver(sink, message, error)) << error;
    }
    const auto files = sink.WaitForMessages(std::size(sizes));
    ASSERT_EQ(files.size(), std::size(sizes));
    const auto mails = test::ParseMails(files);
    for (const ParsedMail& mail : mails) {
        ASSERT_TRUE(mail.Ok) << mail.Error;
        SCOPED_TRACE(mail.Subject);
        EXPECT_TRUE(mail.Defects.empty()) << mail.Defects.front();
        EXPECT_EQ(mail.ContentType, "multipart/mixed");
        // The text part ends with the line break that opens the next part's delimiter line.
        EXPECT_EQ(mail.Text, "Turn attached.\n.\nBye\n\n");
        ASSERT_EQ(mail.Attachments.size(), 1u);
        const std::size_t size = std::stoul(mail.Subject.substr(5));
        const std::size_t index =
            static_cast<std::size_t>(std::find(std::begin(sizes), std::end(sizes), size) - std::begin(sizes));
        ASSERT_LT(index, std::size(sizes));
        EXPECT_EQ(mail.Attachments[0].FileName, attachments[index].GetName());
        EXPECT_EQ(mail.Attachments[0].Size, size);
        EXPECT_EQ(mail.Attachments[0].Sha256, test::Sha256Hex(contents[index]));
    }
}

TEST(SmtpDeliveryTest, TextAndNamesSurviveAMailReader)
{
    SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    test::TempDir dir;
    CMailAttachment spaced;
    CMailAttachment accented;
    ASSERT_TRUE(spaced.Load(dir.Write("my game.m2", "abc")));
    ASSERT_TRUE(accented.Load(dir.Write("partie\xC3\xA9.xy", "xyz")));

    CMailMessage plain;
    plain.From = CMailAddress("host@example.org");
    plain.AddRecipient(CMailAddress("a@example.org"));
    plain.AddRecipient(CMailAddress("b@example.org"));
    plain.Subject = "Year 2401\r\nBcc: victim@example.org";
    plain.SetBody("a = b\nlong " + std::string(1200, 'x') + "\n--#BOUNDARY#--\n");
    plain.AddAttachment(spaced);
    plain.AddAttachment(accented);

    CMailMessage unicode;
    unicode.From = CMailAddress("host@example.org");
    unicode.AddRecipient(CMailAddress("a@example.org"));
    unicode.Subject = "Z\xC3\xBCge im Jahr 2401 \xE2\x80\x94 " + std::string(40, 'y') + " \xF0\x9F\x9A\x80";
    unicode.SetBody("Gr\xC3\xBC\xC3\x9F"
                    "e\n.\n");

    std::string error;
    ASSERT_TRUE(Deliver(sink, plain, error)) << error;
    ASSERT_TRUE(Deliver(sink, unicode, error)) << error;
    const auto mails = test::ParseMails(sink.WaitForMessages(2));
    ASSERT_EQ(mails.size(), 2u);
    const ParsedMail& first = mails[0].Subject.rfind("Year", 0) == 0 ? mails[0] : mails[1];
    const ParsedMail& second = &first == &mails[0] ? mails[1] : mails[0];

    ASSERT_TRUE(first.Ok) << first.Error;
    EXPECT_EQ(first.Subject, "Year 2401  Bcc: victim@example.org");
    EXPECT_EQ(first.To, (std::vector<std::string>{"a@example.org", "b@example.org"}));
    EXPECT_EQ(first.EnvelopeTo.size(), 2u);
    EXPECT_EQ(first.Text, "a = b\nlong " + std::string(1200, 'x') + "\n--#BOUNDARY#--\n\n");
    EXPECT_EQ(first.TextCharset, "us-ascii");
    ASSERT_EQ(first.Attachments.size(), 2u);
    EXPECT_EQ(first.Attachments[0].FileName, "my game.m2");
    EXPECT_EQ(first.Attachments[1].FileName, "partie\xC3\xA9.xy");
    EXPECT_EQ(first.Attachments[1].Sha256, test::Sha256Hex("xyz"));

    ASSERT_TRUE(second.Ok) << second.Error;
    EXPECT_EQ(second.Subject, unicode.Subject);
    EXPECT_EQ(second.ContentType, "text/plain");
    EXPECT_EQ(second.TextCharset, "utf-8");
    // A body that ends with a line break leaves an empty line before the end of data; smtp-sink adds
    // one more behind each message it dumps.
    EXPECT_EQ(second.Text, "Gr\xC3\xBC\xC3\x9F"
                           "e\n.\n\n\n");
    EXPECT_TRUE(second.Defects.empty());
}

// A long encoded name folded before its address, and a subject that only looks encoded, read back as
// the host wrote them.
TEST(SmtpDeliveryTest, FoldedNameAndLookalikeSubjectSurviveAMailReader)
{
    SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    const std::string name = "J\xc3\xb6rg Hostmann der gro\xc3\x9f"
                             "en Galaxie";
    CMailMessage message;
    message.From = CMailAddress::FromMailbox(name + " <host@example.org>");
    message.AddRecipient(CMailAddress("a@example.org"));
    message.Subject = "=?utf-8?B?SGk=?= year 2401";
    message.SetBody("Your turn.\n");
    std::string error;
    ASSERT_TRUE(Deliver(sink, message, error)) << error;
    const auto files = sink.WaitForMessages(1);
    ASSERT_EQ(files.size(), 1u);
    const auto mails = test::ParseMails(files);
    ASSERT_EQ(mails.size(), 1u);
    const ParsedMail& mail = mails[0];
    ASSERT_TRUE(mail.Ok) << mail.Error;
    EXPECT_EQ(mail.Subject, message.Subject);
    EXPECT_EQ(mail.From, name + " <host@example.org>");
    EXPECT_TRUE(mail.Defects.empty()) << mail.Defects.front();
}

} // namespace
} // namespace turnpost
