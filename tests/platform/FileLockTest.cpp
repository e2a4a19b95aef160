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

TEST(FileLock, ALockFileIsMadeWhenMissingButALinkInItsPlaceIsRefused)
{
    TempDir dir;
    const std::string path = dir.File("game.tpf.lock");
    {
        CFileLock first;
        ASSERT_EQ(first.TryLock(path, nullptr, CFileLock::Open::CreateIfMissing), CFileLock::Result::Locked);
        CFileLock second;
        EXPECT_EQ(second.TryLock(path, nullptr, CFileLock::Open::CreateIfMissing),
                  CFileLock::Result::HeldElsewhere);
    }
    struct stat st
    {
    };
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));

    const std::string target = dir.Write("target", "kept");
    ASSERT_EQ(::symlink(target.c_str(), dir.File("link.lock").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.File("fifo.lock").c_str(), 0600), 0);
    for (const char* name : {"link.lock", "fifo.lock"}) {
        SCOPED_TRACE(name);
        CFileLock refused;
        EXPECT_EQ(refused.TryLock(dir.File(name), nullptr, CFileLock::Open::CreateIfMissing),
                  CFileLock::Result::Failed);
    }
    EXPECT_EQ(turnpost::test::ReadFileBytes(target), "kept");
}
