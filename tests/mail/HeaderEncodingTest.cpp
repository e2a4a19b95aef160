#include "mail/HeaderEncoding.h"
#include "mail/MailAddress.h"
#include "mail/MailMessage.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// Unfolding (RFC 5322 2.2.3) must give back the cleaned text, and no line may pass 78 characters.
TEST(HeaderEncodingTest, SubjectsAreCleanedAndFolded)
{
    struct Case
    {
        std::string Value;
        std::string Unfolded; // empty: encoded words are expected
        std::size_t LineCount;
    };
    const std::string words = "one two three four five six seven eight nine ten eleven twelve thirteen";
    const Case cases[] = {
        {"Turn 2405", "Subject: Turn 2405", 1},
        {std::string("a\x1b[1mb\0c\x7f", 9) + "\r\nBcc: x@example.org\tz",
         "Subject: a[1mbc  Bcc: x@example.org z", 1},
        {words + " " + words, "Subject: " + words + " " + words, 3},
        {"double  blank " + words + words, "Subject: double  blank " + words + words, 3},
        {std::string(120, 'x'), "", 3},
        {"caf\xc3\xa9", "", 1},
        // Text that reads as an encoded word is encoded itself, or a reader would decode it.
        {"=?utf-8?Q?Hi?=", "", 1},
        {"Turn =?iso-8859-1?q?x?= 2405", "", 1},
        {"Pay 2 =? or ?= later", "", 1},
        {"Pay ?= or =? later", "Subject: Pay ?= or =? later", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Value);
        const std::string field = UnstructuredField("Subject", c.Value);
        ASSERT_EQ(field.substr(field.size() - 2), "\r\n");
        const auto lines = Lines(field);
        EXPECT_EQ(lines.size(), c.LineCount) << field;
        std::string unfolded;
        for (const auto& line : lines) {
            EXPECT_LE(line.size(), MaxHeaderLine) << line;
            for (const char ch : line)
                EXPECT_FALSE(static_cast<unsigned char>(ch) < 0x20 && ch != '\t') << line;
            unfolded += line;
        }
        if (c.Unfolded.empty())
            EXPECT_NE(field.find("=?utf-8?B?"), std::string::npos) << field;
        else
            EXPECT_EQ(unfolded, c.Unfolded);
    }
}

TEST(HeaderEncodingTest, LongAndForeignFileNamesUseContinuations)
{
    struct Case
    {
        std::string Name;
        std::string Expected; // the parameter text after "Content-Type: application/octet-stream"
    };
    const std::string longName(100, 'a');
    const Case cases[] = {
        {"game.m1", "; name=game.m1"},
        {"my game.m1", "; name=\"my game.m1\""},
        {"sp\xc3\xa9l.m1", "; name*=utf-8''sp%C3%A9l.m1"},
        {"a-rather-long-but-plain-file-name.m1", ";\r\n name=a-rather-long-but-plain-file-name.m1"},
        {longName, ";\r\n name*0*=utf-8''" + longName.substr(0, 61) + ";\r\n name*1*=" + longName.substr(61)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::size_t column = std::string("Content-Type: application/octet-stream").size();
        const std::string parameter = HeaderParameter("name", c.Name, column);
        EXPECT_EQ(parameter, c.Expected);
        for (const auto& line : Lines("Content-Type: application/octet-stream" + parameter + "\r\n"))
            EXPECT_LE(line.size(), MaxHeaderLine) << line;
    }
}

TEST(HeaderEncodingTest, ReturnAddressMayCarryAName)
{
    struct Case
    {
        std::string Text;
        std::string Name;
        std::string Address;
    };
    const Case cases[] = {
        {"host@example.org", "", "host@example.org"},
        {"Galaxy Host <host@example.org>", "Galaxy Host", "host@example.org"},
        {"  \"Host, \\\"Galaxy\\\"\" <host@example.org> ", "Host, \"Galaxy\"", "host@example.org"},
        {"<host@example.org>", "", "host@example.org"},
        // Not one mailbox: kept whole, so the checks before sending refuse it.
        {"a <b@x> <c@y>", "", "a <b@x> <c@y>"},
        {"a@x, b@y", "", "a@x, b@y"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        const CMailAddress address = CMailAddress::FromMailbox(c.Text);
        EXPECT_EQ(address.FriendlyName, c.Name);
        EXPECT_EQ(address.EmailAddress, c.Address);
    }
    CMailMessage message;
    message.From = CMailAddress::FromMailbox("J\xc3\xb6rg Host <host@example.org>");
    const std::string header = message.GetHeader();
    EXPECT_EQ(header.rfind("From: =?utf-8?B?", 0), 0u) << header;
    EXPECT_NE(header.find("?= <host@example.org>\r\n"), std::string::npos) << header;
}

// RFC 5322 2.2.3: a name long enough to push the address past 78 characters is followed by a fold.
TEST(HeaderEncodingTest, FromLineFoldsBeforeTheAddress)
{
    const struct
    {
        std::string Mailbox;
        std::size_t LineCount;
        std::string LastLine;
    } cases[] = {
        {"J\xc3\xb6rg <host@example.org>", 1, ""},
        {"J\xc3\xb6rg Hostmann der gro\xc3\x9f"
         "en Galaxie <host@example.org>",
         2, " <host@example.org>"},
        // Two encoded words: the second leaves room for the address on its line.
        {"J\xc3\xb6rg Hostmann, Gastgeber der gro\xc3\x9f"
         "en Galaxie <host@example.org>",
         2, ""},
        {"\"Hostmann, the keeper of a rather large galaxy of stars\" <host@example.org>", 2,
         " <host@example.org>"},
        {"Galaxy Host <host@example.org>", 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Mailbox);
        CMailMessage message;
        message.From = CMailAddress::FromMailbox(c.Mailbox);
        const std::string header = message.GetHeader();
        const std::string from = header.substr(0, header.find("\r\nTo: ") + 2);
        const auto lines = Lines(from);
        EXPECT_EQ(lines.size(), c.LineCount) << from;
        for (const auto& line : lines)
            EXPECT_LE(line.size(), MaxHeaderLine) << line;
        if (!c.LastLine.empty()) {
            EXPECT_EQ(lines.back(), c.LastLine);
        }
        EXPECT_NE(from.find("<host@example.org>\r\n"), std::string::npos) << from;
    }
}

TEST(HeaderEncodingTest, MessageIdIsUniqueAndTakesTheReturnDomain)
{
    CMailMessage first;
    CMailMessage second;
    first.From = second.From = CMailAddress("host@mail.example.org");
    EXPECT_NE(first.GetMessageId(), second.GetMessageId());
    EXPECT_EQ(first.GetMessageId(), first.GetMessageId()) << "made once per message";
    const std::string id = first.GetMessageId();
    EXPECT_EQ(id.substr(id.size() - 18), "@mail.example.org>");
    // Time, a dot and 128 bits in hex.
    EXPECT_GE(id.find('@'), 1u + 14 + 1 + 32);
    CMailMessage noDomain;
    EXPECT_NE(noDomain.GetMessageId().find("@turnpost.invalid>"), std::string::npos);
    // A domain that is not ASCII gives its A-label form, as the envelope does.
    CMailMessage foreign;
    foreign.From = CMailAddress::FromMailbox("Host <host@b\xc3\xbc"
                                             "cher.example>");
    const std::string foreignId = foreign.GetMessageId();
    EXPECT_EQ(foreignId.substr(foreignId.find('@')), "@xn--bcher-kva.example>");
}

// The domain goes on the wire as IDNA2008 and the STD3 rules allow it: a character that no host
// name may hold is refused, not dropped, and an A-label already written must decode.
TEST(HeaderEncodingTest, DomainsConvertOrAreRefused)
{
    const struct
    {
        const char* Address;
        const char* Wire; // null: refused
    } cases[] = {
        {"one@example.org", "one@example.org"},
        {"one@b\xc3\xbc"
         "cher.example",
         "one@xn--bcher-kva.example"},
        {"one@B\xc3\x9c"
         "cher.example",
         "one@xn--bcher-kva.example"},
        {"one@xn--bcher-kva.example", "one@xn--bcher-kva.example"},
        {"one@mail.XN--BCHER-KVA.example", "one@mail.XN--BCHER-KVA.example"},
        {"one@b\xc3\xbc_cher.example", nullptr},
        {"one@b\xc3\xbc"
         "cher.ex_ample",
         nullptr},
        {"one@b\xc3\xbc cher.example", nullptr},
        {"one@b\xc3\xbc-.example", nullptr},
        {"one@\xe2\x98\x83.example", nullptr},
        {"one@xn--.example", nullptr},
        {"one@xn--zz.example", nullptr},
        {"one@xn--ls8h.example", nullptr},
        {"one@mail.xn--a.example", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Address);
        std::string wire;
        std::string error;
        const bool converted = CMailAddress::ToWireForm(c.Address, wire, error);
        EXPECT_EQ(converted, c.Wire != nullptr) << wire;
        if (c.Wire) {
            EXPECT_EQ(wire, c.Wire);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}

} // namespace
} // namespace turnpost
