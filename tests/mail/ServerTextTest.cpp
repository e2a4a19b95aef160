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

TEST(ServerTextTest, ControlsInEveryEncodingBecomeQuestionMarks)
{
    struct Case
    {
        const char* name;
        std::string Text;
        std::string Printed;
    };
    const Case cases[] = {
        {"C1 CSI as a raw byte",
         "a\x9b"
         "31mb",
         "a?31mb"},
        {"C1 CSI in UTF-8 (U+009B)",
         "a\xc2\x9b"
         "31mb",
         "a?31mb"},
        {"every C1 in UTF-8", "\xc2\x80\xc2\x85\xc2\x9f", "???"},
        {"raw C1 bytes", "\x80\x8d\x9f", "???"},
        {"overlong ESC", "\xc0\x9b", "??"},
        {"overlong CSI in three bytes", "\xe0\x82\x9b", "???"},
        {"a sequence cut short", "a\xe2\x80", "a??"},
        {"a surrogate", "\xed\xa0\x80", "???"},
        {"line and paragraph separators",
         "a\xe2\x80\xa8"
         "b\xe2\x80\xa9"
         "c",
         "a?b?c"},
        {"bidi embeddings and overrides", "\xe2\x80\xaa\xe2\x80\xab\xe2\x80\xac\xe2\x80\xad\xe2\x80\xae",
         "?????"},
        {"bidi isolates", "\xe2\x81\xa6\xe2\x81\xa7\xe2\x81\xa8\xe2\x81\xa9", "????"},
        {"text in other scripts stays",
         "Gr\xc3\xbc\xc3\x9f"
         "e \xe2\x80\x94 \xe6\x97\xa5 \xf0\x9f\x98\x80 \xc2\xa0",
         "Gr\xc3\xbc\xc3\x9f"
         "e \xe2\x80\x94 \xe6\x97\xa5 \xf0\x9f\x98\x80 \xc2\xa0"},
        {"Latin-1 letters are no UTF-8",
         "Gr\xfc\xdf"
         "e",
         "Gr??e"},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80", "????"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PrintableText(c.Text), c.Printed);
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
