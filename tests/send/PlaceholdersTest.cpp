#include "send/Placeholders.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <optional>

namespace turnpost {
namespace {

using test::TempDir;

// A host file: two bytes of block header, then a header block with the turn number at bytes 10-11.
std::string HostFile(std::uint16_t turn, std::size_t length = 18)
{
    std::string bytes(18, '\x5a');
    bytes[12] = static_cast<char>(turn & 0xff);
    bytes[13] = static_cast<char>(turn >> 8);
    bytes.resize(length);
    return bytes;
}

TEST(Placeholders, ExpandsAsTheHostExpects)
{
    struct Case
    {
        const char* gameName;
        const char* text;
        int player;
        std::optional<std::string> host; // nullopt: no host file
        const char* expected;
    };
    const Case cases[] = {
        {"Alpha", "Turn %Y of %G", 3, HostFile(5), "Turn 2405 of Alpha"},
        {"Alpha", "%Y", 1, HostFile(0), "2400"},
        {"Alpha", "%Y", 1, std::nullopt, "0"},
        {"Alpha", "%Y", 1, HostFile(5, 13), "0"}, // the turn number's second byte was never read
        {"Alpha", "%Y", 1, HostFile(5, 14), "2405"},
        {"Alpha", "%Y", 1, HostFile(0xffff), "2399"}, // the year wraps at 16 bits
        {"Alpha", "%Y", 1, std::string(), "0"},
        {"Alpha", "no codes at all", 3, HostFile(5), "no codes at all"},
        {"Alpha", "%g %y %p %", 3, HostFile(5), "%g %y %p %"},
        {"Alpha", "%%P", 3, HostFile(5), "%3"},
        {"Alpha", "%%G", 3, HostFile(5), "%Alpha"},
        {"Game %P", "%G", 12, HostFile(5), "Game 12"},
        {"Y%Y", "%G/%P/%G", 7, HostFile(5), "Y2405/7/Y2405"},
        {"%G", "[%G]", 1, HostFile(5), "[%G]"}, // a name holding its own code stays as written
        {"G", "%%G%G", 1, HostFile(5), "%GG"},  // a value that forms a code with the text before it
        {"a%Gb", "%G%G", 1, HostFile(5), "a%Gba%Gb"},
        {"Alpha", "%P %P", 0, HostFile(5), "0 0"},
        {"Alpha", "%P", 16, HostFile(5), "16"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        GameDocument document;
        document.Setup.GameName = c.gameName;
        document.Setup.UniverseFile = dir.File("game.xy");
        if (c.host)
            dir.Write("game.hst", *c.host);
        document.CurrentPlayerNumber = c.player;
        EXPECT_EQ(ExpandPlaceholders(c.text, document), c.expected) << c.gameName << " / " << c.text;
    }
}

TEST(Placeholders, YearIsReadAtEachExpansion)
{
    TempDir dir;
    GameDocument document;
    document.Setup.UniverseFile = dir.File("game.xy");
    EXPECT_EQ(ExpandPlaceholders("%Y", document), "0");
    dir.Write("game.hst", HostFile(7));
    EXPECT_EQ(ExpandPlaceholders("%Y", document), "2407");
}

} // namespace
} // namespace turnpost
