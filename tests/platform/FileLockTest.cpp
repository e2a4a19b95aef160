#include "platform/FileLock.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace turnpost;
using turnpost::test::TempDir;

TEST(FileLock, OneHolderAtATimeUntilItGoes)
{
    TempDir dir;
    const std::string path = dir.Write("game.tpf", "x");
    // The lock needs no write access to the file.
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    {
        CFileLock first;
        ASSERT_EQ(first.TryLock(path), CFileLock::Result::Locked);
        CFileLock second;
        EXPECT_EQ(second.TryLock(path), CFileLock::Result::HeldElsewhere);
    }
    CFileLock after;
    EXPECT_EQ(after.TryLock(path), CFileLock::Result::Locked);

    CFileLock missing;
    int error = 0;
    EXPECT_EQ(missing.TryLock(dir.File("missing.tpf"), &error), CFileLock::Result::Failed);
    EXPECT_EQ(error, ENOENT);
}
