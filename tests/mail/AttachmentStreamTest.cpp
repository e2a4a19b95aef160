#include "mail/Base64.h"
#include "mail/MailAttachment.h"
#include "mail/MailMessage.h"
#include "mail/SMTPConnection.h"
#include "platform/Digest.h"
#include "support/ScriptedSmtpPeer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

namespace turnpost {
namespace {

using test::ScriptedSmtpPeer;
using test::TempDir;

std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    return bytes;
}

// The text of the encoder that takes the whole file at once.
std::string WholeEncoding(const std::string& bytes)
{
    std::string text(static_cast<std::size_t>(Base64BufferSize(static_cast<std::int64_t>(bytes.size()))),
                     '\0');
    std::size_t length = 0;
    EXPECT_TRUE(EncodeBase64(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text.data(),
                             text.size(), &length));
    text.resize(length);
    return text;
}

constexpr std::size_t Slice = CMailAttachment::SliceSize;
constexpr std::size_t SliceText = Slice / Base64LineInput * 78;

TEST(AttachmentStreamTest, StreamedTextIsTheWholeEncodingAndItsDigest)
{
    TempDir dir;
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{57}, std::size_t{58}, Slice,
                                   Slice + 1, 2 * Slice + 58}) {
        SCOPED_TRACE(size);
        const std::string bytes = Pattern(size);
        const std::string path = dir.Write("game.xy", bytes);
        const std::string expected = WholeEncoding(bytes);

        CMailAttachment streamed;
        ASSERT_TRUE(streamed.Open(path)) << streamed.GetError();
        EXPECT_FALSE(streamed.IsHeld());
        EXPECT_EQ(streamed.GetEncodedLength(), expected.size());
        std::string text;
        std::size_t longest = 0;
        const CMailAttachment::Sent sent = streamed.Stream([&](std::string_view piece) {
            text += piece;
            longest = std::max(longest, piece.size());
            return true;
        });
        ASSERT_TRUE(sent.Ok) << sent.Error;
        EXPECT_EQ(text, expected);
        EXPECT_EQ(sent.Sha256, Sha256Hex(bytes));
        // Memory stays one slice whatever the size of the file.
        EXPECT_LE(longest, SliceText + 80);

        CMailAttachment held;
        ASSERT_TRUE(held.Load(path)) << held.GetError();
        EXPECT_EQ(held.GetEncodedText(), expected);
        std::string again;
        const CMailAttachment::Sent heldSent = held.Stream([&](std::string_view piece) {
            again += piece;
            return true;
        });
        EXPECT_EQ(again, expected);
        EXPECT_EQ(heldSent.Sha256, Sha256Hex(bytes));
    }
}

TEST(AttachmentStreamTest, AFileThatChangesWhileItIsSentIsNotSentWhole)
{
    TempDir dir;
    const std::string original = Pattern(2 * Slice + 5);
    struct Case
    {
        const char* Name;
        bool BeforeFirstSlice; // changed between opening and sending, else after the first slice
        std::string Content;   // the new content; "-" removes the file
        std::string Error;
    };
    const std::string path = dir.File("game.m1");
    const Case cases[] = {
        {"grown after a slice", false, original + "more", "File changed size while it was being sent: "},
        {"cut after a slice", false, original.substr(0, Slice + 3),
         "File changed size while it was being sent: "},
        {"grown before sending", true, original + "x", "File changed size while it was being sent: "},
        {"removed before sending", true, "-", "Could not open file: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        dir.Write("game.m1", original);
        CMailAttachment attachment;
        ASSERT_TRUE(attachment.Open(path));
        const auto change = [&] {
            if (c.Content == "-")
                ::unlink(path.c_str());
            else // in place, as a program that rewrites the file would
                std::ofstream(path, std::ios::binary | std::ios::trunc) << c.Content;
        };
        if (c.BeforeFirstSlice)
            change();
        std::string text;
        const CMailAttachment::Sent sent = attachment.Stream([&](std::string_view piece) {
            text += piece;
            if (!c.BeforeFirstSlice && text.size() == piece.size())
                change();
            return true;
        });
        EXPECT_FALSE(sent.Ok);
        EXPECT_EQ(sent.Error, c.Error + path);
        EXPECT_LT(text.size(), WholeEncoding(original).size());
    }
}

TEST(AttachmentStreamTest, AFileThatFailsMidMessageEndsTheConnectionWithoutTheEndOfData)
{
    TempDir dir;
    const std::string path = dir.Write("game.m1", "turn");
    CMailAttachment attachment;
    ASSERT_TRUE(attachment.Open(path));
    dir.Write("game.m1", "the next turn");

    ScriptedSmtpPeer peer;
    peer.Send("220 hi\r\n")
        .On("HELO", "250 ok\r\n")
        .On("MAIL FROM:<host@example.org>", "250 ok\r\n")
        .On("RCPT TO:<p1@example.org>", "250 ok\r\n")
        .On("DATA", "354 go\r\n")
        .ExpectData()
        .Send("250 queued\r\n");
    peer.Start();
    CSMTPConnection connection;
    connection.SetTimeout(5000);
    ASSERT_TRUE(connection.Connect(peer.Address()));
    CMailMessage message;
    message.From = CMailAddress("host@example.org");
    message.AddRecipient(CMailAddress("p1@example.org"));
    message.AddAttachment(attachment);
    EXPECT_FALSE(connection.SendMessage(message));
    EXPECT_EQ(connection.GetError().Text, "File changed size while it was being sent: " + path);
    EXPECT_FALSE(connection.IsReusable());
    connection.Disconnect();
    peer.Wait();

    // The server saw the message begin and the connection end: it has nothing it could deliver.
    EXPECT_NE(peer.Received().find("Content-Disposition: attachment; filename=game.m1"), std::string::npos);
    EXPECT_EQ(peer.Received().find("\r\n.\r\n"), std::string::npos);
    EXPECT_EQ(peer.Received().find("QUIT"), std::string::npos);
}

} // namespace
} // namespace turnpost
