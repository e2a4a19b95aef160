#include "game/TurnFiles.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace turnpost {
namespace {

TEST(TurnFiles, FindsThoseBesideTheUniverseFileThatExist)
{
    struct Case
    {
        std::string universe;
        std::set<std::string> files;         // what exists
        std::map<int, std::string> expected; // by player number; every other slot is empty
    };
    const Case cases[] = {
        {"/g/war.xy",
         {"/g/war.m1", "/g/war.m3", "/g/war.m16", "/g/war.m17", "/g/war.hst"},
         {{1, "/g/war.m1"}, {3, "/g/war.m3"}, {16, "/g/war.m16"}}},
        {"/g/war.xy", {"/g/war.M1", "/g/war.m01", "/h/war.m2"}, {}},
        // The last two characters go, whatever they are.
        {"/g/war.xyz", {"/g/war.m2", "/g/war.xm2"}, {{2, "/g/war.xm2"}}},
        {"/g/Krieg.\xC3\xA4\xC3\xB6", {"/g/Krieg.m5", "/g/Krieg.\xC3m5"}, {{5, "/g/Krieg.m5"}}},
        {"C:\\GAMES\\ALPHA.XY", {"C:\\GAMES\\ALPHA.m7"}, {{7, "C:\\GAMES\\ALPHA.m7"}}},
        {"x", {"m1"}, {{1, "m1"}}},
        {"", {}, {}},
    };
    for (const Case& c : cases) {
        const auto found =
            TurnFilesBeside(c.universe, [&](const std::string& path) { return c.files.count(path) != 0; });
        for (int number = 1; number <= MaxPlayers; ++number) {
            const auto expected = c.expected.find(number);
            EXPECT_EQ(found[static_cast<std::size_t>(number - 1)],
                      expected == c.expected.end() ? std::string() : expected->second)
                << c.universe << " player " << number;
        }
    }
}

} // namespace
} // namespace turnpost
