#include "platform/FileLock.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

// A lock file whose place is taken by what only POSIX systems make: a link or a FIFO.

using namespace turnpost;
using turnpost::test::TempDir;

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
