#include "game/HostFile.h"

#include "support/GameFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::TempDir;

TEST(HostFile, LiesBesideTheUniverseFile)
{
    EXPECT_EQ(HostFilePath("D:\\x\\ALPHA.XY"), "D:\\x\\ALPHA.hst");
    EXPECT_EQ(HostFilePath("/games/alpha.xy"), "/games/alpha.hst");
    EXPECT_EQ(HostFilePath("x"), "hst");
    EXPECT_EQ(HostFilePath(""), "hst");
}

TEST(HostFile, YearComesFromTheTurnOfAnyFileLongEnough)
{
    TempDir dir;
    test::GameFileFacts facts;
    facts.Turn = 41;
    dir.Write("game.hst", test::GameFileBytes(facts));
    EXPECT_EQ(ReadGameYear(dir.File("game.hst")), 2441);
    dir.Write("short.hst", test::GameFileBytes(facts).substr(0, 13));
    EXPECT_EQ(ReadGameYear(dir.File("short.hst")), 0);
    EXPECT_EQ(ReadGameYear(dir.File("missing.hst")), 0);
    EXPECT_EQ(ReadGameYear(dir.Path()), 0) << "a folder is no host file";
}

} // namespace
} // namespace turnpost
