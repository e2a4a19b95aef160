#include "collect/OrderWriter.h"

#include "platform/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace turnpost {
namespace {

using test::ReadFileBytes;
using test::TempDir;

TEST(OrderWriterTest, KeepsTheOrdersItReplaces)
{
    TempDir dir;
    const std::string path = dir.File("game.x3");

    // The first orders of the turn: nothing to keep.
    OrderWrite written = WriteOrderFile(path, "first");
    ASSERT_TRUE(written.Ok) << written.Error;
    EXPECT_FALSE(written.KeptPrevious);
    EXPECT_FALSE(FileExists(PreviousOrderPath(path)));

    written = WriteOrderFile(path, "second");
    ASSERT_TRUE(written.Ok) << written.Error;
    EXPECT_TRUE(written.KeptPrevious);
    EXPECT_EQ(ReadFileBytes(path), "second");
    EXPECT_EQ(ReadFileBytes(path + ".previous"), "first");

    // The same message taken again must not lose the orders before it.
    written = WriteOrderFile(path, "second");
    ASSERT_TRUE(written.Ok) << written.Error;
    EXPECT_FALSE(written.KeptPrevious);
    EXPECT_EQ(ReadFileBytes(path + ".previous"), "first");
}

TEST(OrderWriterTest, WritesOnlyRegularFiles)
{
    struct Case
    {
        const char* Name;
        const char* Place; ///< what is in the way: the order file or the one kept beside it
        bool Folder;       ///< a folder there, else a symbolic link to a file outside
        const char* Expected;
    };
    const Case cases[] = {
        {"folder as the order", "game.x3", true, "game.x3 is not a regular file"},
        {"link as the order", "game.x3", false, "game.x3 is a symbolic link"},
        {"folder as the previous", "game.x3.previous", true, "game.x3.previous is not a regular file"},
        {"link as the previous", "game.x3.previous", false, "game.x3.previous is a symbolic link"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const std::string path = dir.File("game.x3");
        const std::string outside = dir.Write("outside", "not orders");
        dir.Write("game.x3", "older");
        const std::string place = dir.File(c.Place);
        std::filesystem::remove(place);
        if (c.Folder)
            std::filesystem::create_directory(place);
        else
            std::filesystem::create_symlink(outside, place);

        const OrderWrite written = WriteOrderFile(path, "newer");
        EXPECT_FALSE(written.Ok);
        EXPECT_NE(written.Error.find(c.Expected), std::string::npos) << written.Error;
        EXPECT_EQ(ReadFileBytes(outside), "not orders");
        if (std::string(c.Place) != "game.x3") {
            EXPECT_EQ(ReadFileBytes(path), "older") << "the orders there stay while nothing can keep them";
        }
    }
}

} // namespace
} // namespace turnpost
