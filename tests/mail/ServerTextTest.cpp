#include "mail/ServerText.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

TEST(ServerTextTest, RepliesBecomeOnePrintableLine)
{
    struct Case
    {
        std::string Reply;
        std::string Line;
    };
    const Case cases[] = {
        {"250 ok", "250 ok"},
        {"550-5.7.1 Messages missing a valid Message-ID\r\n550-5.7.1 header are not\r\n550 5.7.1 accepted.",
         "550 5.7.1 Messages missing a valid Message-ID header are not accepted."},
        {"421-mx.example busy\r\n421 try later", "421 mx.example busy try later"},
        {"554-\r\n554 go away", "554 go away"},
        {"hello\r\nthere", "hello there"},
        {std::string("550 a\0b\x1b[0m\x7f\tc\rd", 16), "550 a?b?[0m?\tc?d"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Reply);
        EXPECT_EQ(PrintableReply(c.Reply), c.Line);
    }
}

TEST(ServerTextTest, LongTextIsCutWithoutBreakingACharacter)
{
    const std::string longReply = "550 " + std::string(1000, 'x');
    const std::string printed = PrintableReply(longReply);
    EXPECT_EQ(printed.size(), MaxPrintedReply + 3);
    EXPECT_EQ(printed.substr(printed.size() - 3), "...");

    // "é" is two bytes; a cut through its middle backs off to its start.
    EXPECT_EQ(PrintableText("ab\xc3\xa9", 3), "ab...");
    EXPECT_EQ(PrintableText("ab\xc3\xa9", 4), "ab\xc3\xa9");
}

} // namespace
} // namespace turnpost
