#include "mail/SmtpReplyReader.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using Status = CSmtpReplyReader::Status;

struct Outcome
{
    Status Last = Status::Incomplete;
    std::vector<std::pair<int, std::string>> Replies;
};

// Feeds the bytes in pieces of the given size and collects every reply that completes.
Outcome Feed(const std::string& bytes, std::size_t piece)
{
    CSmtpReplyReader reader;
    Outcome outcome;
    for (std::size_t pos = 0; pos < bytes.size();) {
        pos += reader.Append(bytes.data() + pos, std::min(piece, bytes.size() - pos));
        while ((outcome.Last = reader.Next()) == Status::Complete)
            outcome.Replies.emplace_back(reader.Code(), reader.Text());
        if (outcome.Last != Status::Incomplete)
            break;
    }
    return outcome;
}

TEST(SmtpReplyReaderTest, ReadsRepliesHoweverTheyAreSplit)
{
    const std::string line999 = "250 " + std::string(995, 'x');
    const struct
    {
        const char* Name;
        std::string Bytes;
        Status Last;
        std::vector<std::pair<int, std::string>> Replies;
    } cases[] = {
        {"single", "250 ok\r\n", Status::Incomplete, {{250, "250 ok"}}},
        {"multi-line", "250-a\r\n250-b\r\n250 c\r\n", Status::Incomplete, {{250, "250-a\r\n250-b\r\n250 c"}}},
        {"code alone ends", "220-x\r\n220\r\n", Status::Incomplete, {{220, "220-x\r\n220"}}},
        {"two replies", "250 a\r\n354 b\r\n", Status::Incomplete, {{250, "250 a"}, {354, "354 b"}}},
        {"unfinished second", "250 a\r\n354", Status::Incomplete, {{250, "250 a"}}},
        {"garbage ends a reply", "hello\r\n", Status::Incomplete, {{0, "hello"}}},
        {"short code", "25\r\n", Status::Incomplete, {{0, "25"}}},
        {"code without separator", "2500 x\r\n", Status::Incomplete, {{0, "2500 x"}}},
        {"codes disagree", "250-a\r\n550 b\r\n", Status::Incomplete, {{0, "250-a\r\n550 b"}}},
        {"lone LF is text", "250-a\nb\r\n250 c\r\n", Status::Incomplete, {{250, "250-a\nb\r\n250 c"}}},
        {"longest line", line999 + "\r\n", Status::Incomplete, {{250, line999}}},
        {"line too long", line999 + "y\r\n", Status::LineTooLong, {}},
        {"unfinished line too long", std::string(1000, 'x'), Status::LineTooLong, {}},
        {"longest line waiting for LF", line999 + "\r", Status::Incomplete, {}},
    };
    for (const auto& c : cases) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, c.Bytes.size()}) {
            SCOPED_TRACE(std::string(c.Name) + " in pieces of " + std::to_string(piece));
            const Outcome outcome = Feed(c.Bytes, piece);
            EXPECT_EQ(outcome.Last, c.Last);
            EXPECT_EQ(outcome.Replies, c.Replies);
        }
    }
}

TEST(SmtpReplyReaderTest, BoundsEndlessRepliesAndShowsWhatArrived)
{
    std::string endless;
    while (endless.size() <= CSmtpReplyReader::MaxReplyLength)
        endless += "250-more\r\n";
    EXPECT_EQ(Feed(endless, 500).Last, Status::ReplyTooLong);

    CSmtpReplyReader reader;
    const std::string bytes = "220-one\r\n220-tw";
    reader.Append(bytes.data(), bytes.size());
    EXPECT_EQ(reader.Next(), Status::Incomplete);
    EXPECT_EQ(reader.Partial(), "220-one\r\n220-tw");
}

} // namespace
} // namespace turnpost
