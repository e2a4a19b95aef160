#include "game/OrderFiles.h"

#include "support/GameFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace turnpost {
namespace {

using test::GameFileBytes;
using test::GameFileFacts;

GameFileFacts Orders(int index)
{
    GameFileFacts facts;
    facts.FileType = 1;
    facts.PlayerIndex = index;
    return facts;
}

TEST(OrderFiles, NamesTheOrderFileBesideTheUniverseFile)
{
    EXPECT_EQ(OrderFilePath("/games/galaxy.xy", 6), "/games/galaxy.x7");
    EXPECT_EQ(OrderFilePath("/games/galaxy.xy", 15), "/games/galaxy.x16");
}

// Only this turn's orders of the right player count; what is there but does not count says why.
TEST(OrderFiles, FindsWhoseOrdersAreInForTheCurrentTurn)
{
    const test::TempDir dir;
    const std::string universe = test::WriteConsistentGame(dir, "galaxy", 4);
    dir.Write("galaxy.x1", GameFileBytes(Orders(0)));
    GameFileFacts lastTurn = Orders(1);
    lastTurn.Turn = 41;
    dir.Write("galaxy.x2", GameFileBytes(lastTurn));
    dir.Write("galaxy.x4", GameFileBytes(Orders(2)));
    std::filesystem::create_directory(dir.Path() + "/galaxy.x5");

    const OrdersInFolder found = FindOrdersInFolder(universe);
    ASSERT_TRUE(found.Host.Ok) << found.Host.Error;
    EXPECT_EQ(found.Year, 2442);
    EXPECT_TRUE(found.Players[0].In);
    EXPECT_FALSE(found.Players[1].In);
    EXPECT_EQ(found.Players[1].Problem, "for turn 2441, the current turn is 2442");
    EXPECT_FALSE(found.Players[2].Present);
    EXPECT_FALSE(found.Players[3].In);
    EXPECT_EQ(found.Players[3].Problem, "for player 3, but named galaxy.x4");
    EXPECT_TRUE(found.Players[4].Present);
    EXPECT_FALSE(found.Players[4].In);
    EXPECT_FALSE(found.Players[4].Problem.empty());
}

TEST(OrderFiles, JudgesNothingWithoutAUsableHostFile)
{
    const test::TempDir dir;
    const std::string universe = test::WriteConsistentGame(dir, "galaxy", 1);
    dir.Write("galaxy.x1", GameFileBytes(Orders(0)));
    GameFileFacts busy;
    busy.FileType = 2;
    busy.PlayerIndex = 31;
    busy.Flags = 0x02;
    const std::string host = dir.Write("galaxy.hst", GameFileBytes(busy));

    OrdersInFolder found = FindOrdersInFolder(universe);
    EXPECT_FALSE(found.Host.Ok);
    EXPECT_TRUE(found.Host.InUse);
    EXPECT_EQ(found.Host.Error, host + " is in use");
    EXPECT_FALSE(found.Players[0].In);

    std::filesystem::remove(host);
    found = FindOrdersInFolder(universe);
    EXPECT_FALSE(found.Host.InUse);
    EXPECT_EQ(found.Host.Error.rfind(host + " cannot be read (", 0), 0u) << found.Host.Error;

    dir.Write("galaxy.hst", GameFileBytes(Orders(0)));
    EXPECT_EQ(FindOrdersInFolder(universe).Host.Error, host + " is not a host file");
}

} // namespace
} // namespace turnpost
