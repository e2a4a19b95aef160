#include "send/TurnCheck.h"

#include "support/GameFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::TempDir;

// Which of the setup's files the checks look at: a stale m2 and a universe of another game tell.
TEST(TurnCheckFromSetup, ChecksOnlyTheFilesTheSendAttaches)
{
    struct Case
    {
        const char* name;
        int sendPlayerFile;
        int sendUniverseFile;
        int secondSelected;
        bool hostMissing;
        std::string first, second; // the refusals of players 1 and 2; $U, $2: the files
        std::string note;
    };
    const std::string otherGame = "$U belongs to another game";
    const std::string stale = "$2 is for 2441, the host file is at 2442";
    const Case cases[] = {
        {"both attached", 1, 1, 1, false, otherGame, stale, ""},
        {"no universe file", 1, 0, 1, false, "", stale, ""},
        {"no turn files", 0, 1, 1, false, otherGame, otherGame, ""},
        {"second not selected", 1, 1, 0, false, otherGame, "", ""},
        {"nothing attached", 0, 0, 1, true, "", "", ""},
        {"host file missing", 1, 0, 1, true, "", "",
         "Turn files not checked: the host file $H could not be opened"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        GameSetup setup;
        setup.UniverseFile = test::WriteConsistentGame(dir, "g", 2);
        test::GameFileFacts universe;
        universe.FileType = 0;
        universe.PlayerIndex = 31;
        universe.GameId = 78;
        dir.Write("g.xy", test::GameFileBytes(universe));
        test::GameFileFacts turn;
        turn.PlayerIndex = 1;
        turn.Turn = 41;
        dir.Write("g.m2", test::GameFileBytes(turn));
        if (c.hostMissing)
            std::remove(dir.File("g.hst").c_str());
        setup.SendPlayerFile = c.sendPlayerFile;
        setup.SendUniverseFile = c.sendUniverseFile;
        setup.Players[0] = {1, "a@example.org", dir.File("g.m1")};
        setup.Players[1] = {c.secondSelected, "b@example.org", dir.File("g.m2")};

        const auto paths = [&](std::string text) {
            for (const auto& [mark, path] : {std::pair<std::string, std::string>{"$U", dir.File("g.xy")},
                                             {"$H", dir.File("g.hst")},
                                             {"$2", dir.File("g.m2")}})
                if (const auto at = text.find(mark); at != std::string::npos)
                    text.replace(at, 2, path);
            return text;
        };
        const TurnCheck check = CheckGameFiles(setup);
        EXPECT_EQ(check.Refusals[0], paths(c.first));
        EXPECT_EQ(check.Refusals[1], paths(c.second));
        EXPECT_EQ(check.Note, paths(c.note));
    }
}

} // namespace
} // namespace turnpost
