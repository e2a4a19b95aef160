#include "platform/Files.h"
#include "setup/SetupFile.h"
#include "support/RecordingUserInterface.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

// Saves that fail through what only POSIX systems make: file-size limits, FIFOs and device nodes.

using namespace turnpost;
using turnpost::test::ReadFileBytes;
using turnpost::test::RecordingUserInterface;
using turnpost::test::TempDir;

TEST(SetupFileWrite, FailureHalfWayKeepsTheOldFile)
{
    TempDir dir;
    const std::string old = SerializeSetup(GameSetup{});
    const std::string path = dir.Write("game.tpf", old);
    GameSetup big;
    big.MessageText.assign(200000, 'x');
    RecordingUserInterface ui;

    // A file-size limit makes the write fail part way, as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 8192;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool written = WriteSetupFile(path, big, ui);
    ::setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFileBytes(path), old);
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, WriteErrorMessage(EFBIG, path));
}

TEST(SetupFileWrite, UnopenableTargetSavesNothing)
{
    TempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string device = dir.File("full");
    // Making a device node needs root.
    const bool root = ::geteuid() == 0 && ::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 7)) == 0;
    struct Case
    {
        std::string Path;
        const char* Reason;
        mode_t Kind; ///< what the target still is afterwards; 0 for none
    };
    std::vector<Case> cases = {
        {dir.File("no/such/folder/game.tpf"), "No such file or directory", 0},
        {dir.Path(), "Is a directory", S_IFDIR},
        {fifo, "not a regular file", S_IFIFO},
    };
    if (root)
        cases.push_back({device, "not a regular file", S_IFCHR});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path);
        RecordingUserInterface ui;
        EXPECT_FALSE(WriteSetupFile(c.Path, GameSetup{}, ui));
        ASSERT_EQ(ui.Messages.size(), 1u);
        EXPECT_EQ(ui.Messages[0].Text,
                  "Could not open file for saving: nothing saved! (" + c.Path + ": " + c.Reason + ")");
        struct stat st
        {
        };
        EXPECT_EQ(::lstat(c.Path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0, c.Kind);
    }
}
