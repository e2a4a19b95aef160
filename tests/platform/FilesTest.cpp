#include "platform/Files.h"
#include "support/FifoReader.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace turnpost;
using turnpost::test::ReadFileBytes;
using turnpost::test::TempDir;

TEST(FolderOf, SplitsPathsIntoFolderAndName)
{
    const struct
    {
        const char* Path;
        const char* Folder;
        const char* Name;
    } cases[] = {
        {"/games/orion/orion.m1", "/games/orion", "orion.m1"},
        {"orion.m1", ".", "orion.m1"},
        {"/orion.m1", "/", "orion.m1"},
        {"games/", "games", ""},
        {"", ".", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FolderOf(c.Path), c.Folder) << c.Path;
        EXPECT_EQ(FileNameOf(c.Path), c.Name) << c.Path;
    }
}

TEST(WriteFileAtomically, ReplacesContentAndKeepsPermissions)
{
    TempDir dir;
    const auto path = dir.Write("game.tpf", "old contents");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

    ASSERT_TRUE(WriteFileAtomically(path, "new").Ok());

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

    EXPECT_EQ(result.Status, WriteResult::WriteFailed);
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
    EXPECT_EQ(WriteFileAtomically(dir.File("no/such/folder.tpf"), "x").Status, WriteResult::OpenFailed);
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

    ASSERT_TRUE(WriteFileAtomically(link, "new").Ok());

    EXPECT_EQ(ReadFileBytes(target), "new");
    struct stat st
    {
    };
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

namespace {

struct stat StatOf(const std::string& path)
{
    struct stat st
    {
    };
    ::lstat(path.c_str(), &st);
    return st;
}

/// Runs body as the unprivileged user "nobody" in a child process and gives its exit status: the
/// system's permission checks apply to it as to any user (they do not to root).
int AsNobody(const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

} // namespace

TEST(WriteFileAtomically, SpecialTargetsAreRefusedForSetupsAndWrittenIntoForReports)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "making a device node needs root";
    TempDir dir;
    const std::string device = dir.File("null");
    if (::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0)
        GTEST_SKIP() << "no device nodes here";
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    for (const auto& target : {device, fifo}) {
        SCOPED_TRACE(target);
        const auto refused = WriteFileAtomically(target, "setup");
        EXPECT_EQ(refused.Status, WriteResult::OpenFailed);
        EXPECT_EQ(FileErrorText(refused.Error), "not a regular file");
        EXPECT_EQ(StatOf(target).st_mode & S_IFMT, target == device ? S_IFCHR : S_IFIFO);
    }
    EXPECT_TRUE(WriteFileAtomically(device, "report", SpecialTarget::WriteInPlace).Ok());
    EXPECT_TRUE(S_ISCHR(StatOf(device).st_mode));

    // A FIFO that nobody reads fails at once rather than waiting for a reader.
    EXPECT_EQ(WriteFileAtomically(fifo, "report", SpecialTarget::WriteInPlace).Error, ENXIO);
    WriteResult result;
    bool written = false;
    const std::string read = test::ReadWhatIsWritten(
        fifo,
        [&] {
            result = WriteFileAtomically(fifo, "report", SpecialTarget::WriteInPlace);
            return result.Error != ENXIO;
        },
        written);
    EXPECT_TRUE(result.Ok()) << result.Error;
    EXPECT_EQ(read, "report");
    EXPECT_TRUE(S_ISFIFO(StatOf(fifo).st_mode));
}

TEST(WriteFileAtomically, LinksAreFollowedToTheirEndAndLoopsRefused)
{
    TempDir dir;
    const std::string dangling = dir.File("dangling.tpf");
    ASSERT_EQ(::symlink("made/../target.tpf", dangling.c_str()), 0);
    ASSERT_EQ(::mkdir(dir.File("made").c_str(), 0700), 0);
    ASSERT_TRUE(WriteFileAtomically(dangling, "new").Ok());
    EXPECT_EQ(ReadFileBytes(dir.File("target.tpf")), "new");
    EXPECT_TRUE(S_ISLNK(StatOf(dangling).st_mode));

    const std::string a = dir.File("a.tpf"), b = dir.File("b.tpf");
    ASSERT_EQ(::symlink(b.c_str(), a.c_str()), 0);
    ASSERT_EQ(::symlink(a.c_str(), b.c_str()), 0);
    const auto loop = WriteFileAtomically(a, "x");
    EXPECT_EQ(loop.Status, WriteResult::OpenFailed);
    EXPECT_EQ(loop.Error, ELOOP);
    EXPECT_TRUE(S_ISLNK(StatOf(a).st_mode));
    EXPECT_TRUE(S_ISLNK(StatOf(b).st_mode));
}

TEST(WriteFileAtomically, OwnerGroupAndModeSurviveTheReplacement)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a file to another user needs root";
    TempDir dir;
    const auto path = dir.Write("game.tpf", "old");
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(WriteFileAtomically(path, "new").Ok());
    const struct stat st = StatOf(path);
    EXPECT_EQ(ReadFileBytes(path), "new");
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(WriteFileAtomically, WhatTheUserMayNotWriteIsNeverReplaced)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    struct Case
    {
        const char* Name;
        mode_t FolderMode;
        mode_t FileMode;
        bool Written;
    };
    const Case cases[] = {
        {"read-only file", 0777, 0444, false},
        // Another user's file in a shared folder with the sticky bit: his to keep.
        {"another's file in a sticky folder", 01777, 0644, false},
        // Writable, but neither the folder nor the sticky bit lets us rename over it: written in place.
        {"writable file in a read-only folder", 0555, 0666, true},
        {"another's writable file in a sticky folder", 01777, 0666, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
        const std::string folder = dir.File("shared");
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
        const std::string path = folder + "/game.tpf";
        ASSERT_EQ(::close(::open(path.c_str(), O_WRONLY | O_CREAT, 0600)), 0);
        ASSERT_EQ(::truncate(path.c_str(), 0), 0);
        {
            const int fd = ::open(path.c_str(), O_WRONLY);
            ASSERT_EQ(::write(fd, "old", 3), 3);
            ::close(fd);
        }
        ASSERT_EQ(::chmod(path.c_str(), c.FileMode), 0);
        ASSERT_EQ(::chmod(folder.c_str(), c.FolderMode), 0);
        const ino_t inode = StatOf(path).st_ino;

        const int status = AsNobody([&] {
            const auto result = WriteFileAtomically(path, "new");
            if (result.Ok())
                return 0;
            return result.Status == WriteResult::OpenFailed && result.Error == EACCES ? 1 : 2;
        });
        EXPECT_EQ(status, c.Written ? 0 : 1);
        EXPECT_EQ(ReadFileBytes(path), c.Written ? "new" : "old");
        EXPECT_EQ(StatOf(path).st_ino, inode);
        EXPECT_EQ(StatOf(path).st_mode & 07777, c.FileMode);
        ::chmod(folder.c_str(), 0700);
    }
}

TEST(MakeRealFolder, MakesOrKeepsAFolderAndRefusesAnythingElseInItsPlace)
{
    TempDir dir;
    int error = 0;
    ASSERT_TRUE(MakeRealFolder(dir.File("new"), error));
    ASSERT_TRUE(MakeRealFolder(dir.File("new"), error)) << "an existing folder is kept";
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("new")));

    // A link is refused even when it leads to a folder: what is written there would land elsewhere.
    ASSERT_EQ(::symlink(dir.File("new").c_str(), dir.File("link").c_str()), 0);
    EXPECT_TRUE(IsSymbolicLink(dir.File("link")));
    EXPECT_FALSE(IsSymbolicLink(dir.File("new")));
    EXPECT_FALSE(MakeRealFolder(dir.File("link"), error));
    EXPECT_EQ(error, ELOOP);
    EXPECT_FALSE(MakeRealFolder(dir.Write("file", "x"), error));
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_FALSE(MakeRealFolder(dir.File("missing/below"), error));
    EXPECT_EQ(error, ENOENT);
}
