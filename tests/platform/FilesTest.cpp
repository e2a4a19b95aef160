#include "platform/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace turnpost;
using turnpost::test::ReadFileBytes;
using turnpost::test::TempDir;

TEST(WriteFileAtomically, ReplacesContentAndKeepsPermissions)
{
    TempDir dir;
    const auto path = dir.Write("game.tpf", "old contents");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

    ASSERT_TRUE(WriteFileAtomically(path, "new").ok());

    EXPECT_EQ(ReadFileBytes(path), "new");
    struct stat st
    {
    };
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(WriteFileAtomically, FailureHalfWayLeavesOldFileAndNoTemporary)
{
    TempDir dir;
    const auto path = dir.Write("game.tpf", "precious");
    // A file-size limit makes the write fail part way, as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const auto result = WriteFileAtomically(path, std::string(100000, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(result.status, WriteResult::WriteFailed);
    EXPECT_EQ(ReadFileBytes(path), "precious");
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 1);
    EXPECT_EQ(WriteErrorMessage(ENOSPC, path), "Disk full while accessing " + path + ".");
}

TEST(WriteFileAtomically, MissingFolderIsAnOpenFailure)
{
    TempDir dir;
    EXPECT_EQ(WriteFileAtomically(dir.File("no/such/folder.tpf"), "x").status, WriteResult::OpenFailed);
}

TEST(ReadWholeFile, ReadsAllBytesAndRefusesFolders)
{
    TempDir dir;
    const std::string bytes("a\0b\r\n", 5);
    std::string got;
    ASSERT_TRUE(ReadWholeFile(dir.Write("f", bytes), got));
    EXPECT_EQ(got, bytes);
    int error = 0;
    EXPECT_FALSE(ReadWholeFile(dir.Path(), got, &error));
    EXPECT_FALSE(ReadWholeFile(dir.File("missing"), got, &error));
    EXPECT_EQ(error, ENOENT);
}

TEST(WriteFileAtomically, SavingThroughALinkWritesTheFileItPointsTo)
{
    TempDir dir;
    const auto target = dir.Write("real.tpf", "old");
    const auto link = dir.File("link.tpf");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);

    ASSERT_TRUE(WriteFileAtomically(link, "new").ok());

    EXPECT_EQ(ReadFileBytes(target), "new");
    struct stat st
    {
    };
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}
