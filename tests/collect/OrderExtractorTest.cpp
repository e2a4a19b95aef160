#include "collect/OrderExtractor.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

// The two order files the fixtures in tests/data/orders carry, in their various encodings.
const std::string OrderOne("\x00\x01\x02\x03orders of player 1\r\n\xfe\xff", 26);
const std::string OrderTwo("\x10\x20=\x00\xff player 2 \xe4\n", 17);

std::string Fixture(const std::string& name)
{
    return test::ReadFileBytes(std::string(TURNPOST_SOURCE_PATH) + "/tests/data/orders/" + name);
}

Files NamesAndBytes(const ExtractedMessage& message)
{
    Files files;
    for (const MessageFile& file : message.Files)
        files.emplace_back(file.Name, file.Bytes);
    return files;
}

TEST(OrderExtractorTest, TakesEveryNamedFile)
{
    struct Case
    {
        const char* Fixture;
        Files Expected;
    };
    const Case cases[] = {
        {"base64.eml", {{"game.x1", OrderOne}}},
        {"rfc2231.eml", {{"Z\xc3\xbcge.x2", OrderTwo}}},
        {"rfc2047.eml", {{"Sp\xc3\xa4t.x3", OrderOne}}},
        {"quoted-printable.eml", {{"game.x4", OrderTwo}}},
        {"uuencoded.eml", {{"game.x7", OrderOne}}},
        {"forwarded.eml", {{"game.x5", OrderTwo}}},
        {"two-attachments.eml", {{"game.x1", OrderOne}, {"game.x2", OrderTwo}}},
        {"no-files.eml", {}},
    };
    const COrderExtractor extractor;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Fixture);
        const std::string bytes = Fixture(c.Fixture);
        ASSERT_FALSE(bytes.empty());
        const ExtractedMessage message = extractor.Extract(bytes);
        ASSERT_TRUE(message.Ok) << message.Error;
        EXPECT_EQ(NamesAndBytes(message), c.Expected);
        EXPECT_EQ(message.From, "one@example.net");
        EXPECT_EQ(message.Subject, "Befehle f\xc3\xbcr 2401");
        EXPECT_TRUE(message.MessageId.ends_with("@example.net")) << message.MessageId;
        EXPECT_TRUE(message.Notes.empty());
    }
    EXPECT_EQ(extractor.Extract(Fixture("base64.eml")).MessageId, "base64@example.net");
}

// Nested message/rfc822 parts, the innermost carrying game.x1.
std::string Forwarded(int depth)
{
    std::string message = "Subject: orders\r\nContent-Type: application/octet-stream\r\n"
                          "Content-Disposition: attachment; filename=game.x1\r\n\r\norders\r\n";
    for (int i = 0; i < depth; ++i)
        message = "Subject: Fwd\r\nContent-Type: message/rfc822\r\n\r\n" + message;
    return message;
}

std::string Repeated(const std::string& text, int times)
{
    std::string repeated;
    for (int i = 0; i < times; ++i)
        repeated += text;
    return repeated;
}

std::string NestedMultiparts(int depth)
{
    std::string message;
    for (int i = 0; i < depth; ++i)
        message += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\r\n\r\n--b" +
                   std::to_string(i) + "\r\n";
    return message + "Content-Type: text/plain\r\n\r\nhello\r\n";
}

TEST(OrderExtractorTest, RefusesOrNotesWhatItCannotTake)
{
    struct Case
    {
        const char* Name;
        std::string Message;
        const char* Error; ///< nullptr: taken
        Files Expected;
        const char* Note; ///< nullptr: none
    };
    const Case cases[] = {
        {"empty", "", "could not be read", {}, nullptr},
        {"no header", "garbage", "could not be read", {}, nullptr},
        {"boundary never comes", Fixture("malformed.eml"), nullptr, {}, "boundary never appears"},
        {"uuencoded file cut short",
         "Subject: x\r\n\r\nbegin 644 game.x7\r\n#86)C\r\n",
         nullptr,
         {},
         "\"game.x7\" has no end line"},
        {"uuencoded file damaged",
         "Subject: x\r\n\r\nbegin 644 game.x7\r\n#8\x7f)C\r\n`\r\nend\r\n",
         nullptr,
         {},
         "\"game.x7\" is damaged"},
        {"forwarded as deep as allowed", Forwarded(8), nullptr, {{"game.x1", "orders\r\n"}}, nullptr},
        {"forwarded too deep", Forwarded(9), "more than 8 levels deep", {}, nullptr},
        {"multiparts within multiparts",
         NestedMultiparts(300),
         "more than 200 parts within parts",
         {},
         nullptr},
        // A header may fold between the type and its subtype.
        {"messages spelled apart",
         NestedMultiparts(1) + Repeated("Message\r\n /rfc822 ", 250),
         "parts within parts",
         {},
         nullptr},
    };
    const COrderExtractor extractor;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const ExtractedMessage message = extractor.Extract(c.Message);
        EXPECT_EQ(message.Ok, c.Error == nullptr) << message.Error;
        if (c.Error != nullptr) {
            EXPECT_NE(message.Error.find(c.Error), std::string::npos) << message.Error;
        }
        EXPECT_EQ(NamesAndBytes(message), c.Expected);
        if (c.Note != nullptr) {
            ASSERT_EQ(message.Notes.size(), 1u);
            EXPECT_NE(message.Notes[0].find(c.Note), std::string::npos) << message.Notes[0];
        } else
            EXPECT_TRUE(message.Notes.empty());
    }

    COrderExtractor small;
    small.MaxMessageBytes = 100;
    const ExtractedMessage large = small.Extract(Fixture("base64.eml"));
    EXPECT_FALSE(large.Ok);
    EXPECT_NE(large.Error.find("larger than 100 bytes"), std::string::npos) << large.Error;
}

} // namespace
} // namespace turnpost
