#include "game/TurnCheck.h"

#include "support/GameFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>

namespace turnpost {
namespace {

using test::GameFileBytes;
using test::GameFileFacts;
using test::TempDir;

/// A four-player game at turn 42, every player selected and both files attached; each case spoils it
/// in one way.
TEST(TurnCheck, RefusesExactlyThePlayersWhoseFilesAreWrong)
{
    struct Case
    {
        const char* name;
        std::function<void(const TempDir&)> spoil;
        std::string note;                  // a part of it; empty: none
        std::vector<std::string> refusals; // per player, "" when he may be mailed; PATH(n) = m<n>
        bool mailNobody = false;
    };
    const auto write = [](const TempDir& dir, const std::string& name, GameFileFacts facts) {
        dir.Write(name, GameFileBytes(facts));
    };
    const auto turn = [](int index) {
        GameFileFacts facts;
        facts.PlayerIndex = index;
        return facts;
    };
    const Case cases[] = {
        {"consistent", [](const TempDir&) {}, "", {"", "", "", ""}},
        {"stale turn file",
         [&](const TempDir& dir) {
             auto facts = turn(1);
             facts.Turn = 41;
             write(dir, "g.m2", facts);
         },
         "",
         {"", "$2 is for 2441, the host file is at 2442", "", ""}},
        {"another game's file",
         [&](const TempDir& dir) {
             auto facts = turn(2);
             facts.GameId = 77;
             write(dir, "g.m3", facts);
         },
         "",
         {"", "", "$3 belongs to another game", ""}},
        {"player files swapped",
         [&](const TempDir& dir) {
             write(dir, "g.m1", turn(1));
             write(dir, "g.m2", turn(0));
         },
         "",
         {"$1 is player 2's turn file", "$2 is player 1's turn file", "", ""}},
        {"not a turn file",
         [&](const TempDir& dir) {
             auto history = turn(0);
             history.FileType = 4;
             write(dir, "g.m1", history);
             dir.Write("g.m4", "short");
         },
         "",
         {"not a turn file: $1", "", "", "not a turn file: $4"}},
        {"turn file missing",
         [](const TempDir& dir) { std::remove(dir.File("g.m2").c_str()); },
         "",
         {"", "Could not open file: $2", "", ""}},
        {"universe of another game",
         [&](const TempDir& dir) {
             GameFileFacts universe;
             universe.FileType = 0;
             universe.PlayerIndex = 31;
             universe.GameId = 78;
             write(dir, "g.xy", universe);
         },
         "",
         {"$U belongs to another game", "$U belongs to another game", "$U belongs to another game",
          "$U belongs to another game"}},
        {"universe file that is not one",
         [&](const TempDir& dir) { write(dir, "g.xy", turn(0)); },
         "",
         {"not a universe file: $U", "not a universe file: $U", "not a universe file: $U",
          "not a universe file: $U"}},
        {"host file in use",
         [&](const TempDir& dir) {
             GameFileFacts host;
             host.FileType = 2;
             host.Flags = 0x02;
             write(dir, "g.hst", host);
         },
         "Nobody mailed: the host file $H is in use; a turn generation may be running",
         {"not mailed while the host file is in use (a turn generation may be running)",
          "not mailed while the host file is in use (a turn generation may be running)",
          "not mailed while the host file is in use (a turn generation may be running)",
          "not mailed while the host file is in use (a turn generation may be running)"},
         true},
        {"host file too short",
         [](const TempDir& dir) { dir.Write("g.hst", std::string("\x10\x20\x01", 3)); },
         "Turn files not checked: $H has no game file header",
         {"", "", "", ""}},
        {"host file missing",
         [](const TempDir& dir) { std::remove(dir.File("g.hst").c_str()); },
         "Turn files not checked: the host file $H could not be opened",
         {"", "", "", ""}},
        {"host file of another type",
         [&](const TempDir& dir) {
             // A stale turn file would be refused if the checks ran: they do not.
             write(dir, "g.hst", turn(0));
             auto stale = turn(1);
             stale.Turn = 3;
             write(dir, "g.m2", stale);
         },
         "Turn files not checked: $H is not a host file",
         {"", "", "", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        GameFilesToCheck files;
        files.UniverseFile = test::WriteConsistentGame(dir, "g", 4);
        files.AttachesUniverse = true;
        for (int index = 0; index < 4; ++index)
            files.Players[static_cast<std::size_t>(index)] = {true,
                                                              dir.File("g.m" + std::to_string(index + 1))};
        // A player who is not mailed is never looked at, whatever file he names.
        files.Players[5] = {false, dir.File("nothing-here")};
        c.spoil(dir);

        const auto paths = [&](std::string text) {
            for (const auto& [mark, path] : {std::pair<std::string, std::string>{"$U", dir.File("g.xy")},
                                             {"$H", dir.File("g.hst")},
                                             {"$1", dir.File("g.m1")},
                                             {"$2", dir.File("g.m2")},
                                             {"$3", dir.File("g.m3")},
                                             {"$4", dir.File("g.m4")}})
                if (const auto at = text.find(mark); at != std::string::npos)
                    text.replace(at, 2, path);
            return text;
        };
        const TurnCheck check = CheckTurnFiles(files);
        EXPECT_EQ(check.Note, paths(c.note));
        EXPECT_EQ(check.MailNobody, c.mailNobody);
        for (int index = 0; index < MaxPlayers; ++index) {
            const std::string expected =
                index < 4 ? paths(c.refusals[static_cast<std::size_t>(index)]) : std::string();
            EXPECT_EQ(check.Refusals[static_cast<std::size_t>(index)], expected) << "player " << index + 1;
        }
    }
}

TEST(TurnCheck, RefusalLineNamesThePlayer)
{
    TurnCheck check;
    check.Refusals[2] = "not a turn file: /g/x.m3";
    EXPECT_EQ(check.RefusalLine(2), "[Player 3] ** ERROR: not a turn file: /g/x.m3\n");
    EXPECT_EQ(check.RefusalLine(1), "");
}

} // namespace
} // namespace turnpost
