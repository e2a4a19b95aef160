#include "platform/AppendOnlyFile.h"
#include "platform/Clock.h"
#include "platform/Digest.h"
#include "platform/FileLock.h"
#include "platform/Files.h"
#include "platform/ProcessRunner.h"
#include "platform/Program.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

namespace turnpost {
namespace {

// A folder of its own under the system's temporary folder, with a name that is not ASCII, gone with
// the object.
class WindowsFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto name = "turnpost-\xc3\xa9t\xc3\xa9-" + std::to_string(std::random_device()());
        m_Folder = std::filesystem::temp_directory_path() / std::filesystem::u8path(name);
        std::filesystem::create_directories(m_Folder);
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_Folder, ignored);
    }
    std::string Path(const std::string& name) const
    {
        const auto path = (m_Folder / std::filesystem::u8path(name)).u8string();
        return std::string(path.begin(), path.end());
    }
    std::size_t EntryCount() const
    {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(m_Folder), {}));
    }

private:
    std::filesystem::path m_Folder;
};

TEST_F(WindowsFiles, SavesReplaceWholeAndLeaveNothingBehind)
{
    const std::string file = Path("game \xe2\x98\x85.tpf");
    std::string read;
    int error = 0;
    EXPECT_FALSE(ReadWholeFile(file, read, &error));
    EXPECT_EQ(error, ENOENT);
    ASSERT_TRUE(WriteFileAtomically(file, "first").Ok());
    ASSERT_TRUE(WriteFileAtomically(file, std::string("second\0with a zero", 18)).Ok());
    ASSERT_TRUE(ReadWholeFile(file, read));
    EXPECT_EQ(read, std::string("second\0with a zero", 18));
    EXPECT_EQ(FileSize(file), 18u);
    EXPECT_EQ(ReadFilePrefix(file, 6), "second");
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(WindowsFiles, FoldersAndDevicesAreNoFilesToReadOrReplace)
{
    const std::string folder = Path("sub");
    int error = 0;
    ASSERT_TRUE(MakeRealFolder(folder, error));
    EXPECT_TRUE(MakeRealFolder(folder, error)) << "an existing folder is kept";
    std::string read;
    EXPECT_FALSE(ReadWholeFile(folder, read, &error));
    EXPECT_EQ(error, NotRegularFileError);
    EXPECT_FALSE(FileSize(folder));
    EXPECT_EQ(WriteFileAtomically(folder, "x").Error, EISDIR);
    EXPECT_EQ(WriteFileAtomically("NUL", "x").Error, NotRegularFileError);
    EXPECT_TRUE(WriteFileAtomically("NUL", "x", SpecialTarget::WriteInPlace).Ok());

    ASSERT_TRUE(WriteFileAtomically(Path("plain"), "x").Ok());
    EXPECT_FALSE(MakeRealFolder(Path("plain"), error));
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_EQ(WhyNotPrivate(Path("plain"), PrivateKind::Folder), "is not a folder");
    EXPECT_EQ(WhyNotPrivate(folder, PrivateKind::File), "is not a regular file");
    bool missing = false;
    EXPECT_EQ(WhyNotPrivate(Path("none"), PrivateKind::File, &missing), "");
    EXPECT_TRUE(missing);
}

TEST(WindowsPaths, FolderAndNameTakeEitherSeparatorAndADrive)
{
    const struct
    {
        const char* Path;
        const char* Folder;
        const char* Name;
    } cases[] = {
        {"C:\\games\\a.tpf", "C:\\games", "a.tpf"},
        {"C:\\a.tpf", "C:\\", "a.tpf"},
        {"C:a.tpf", "C:", "a.tpf"},
        {"games/a.tpf", "games", "a.tpf"},
        {"/a.tpf", "/", "a.tpf"},
        {"a.tpf", ".", "a.tpf"},
        {"\\\\server\\share\\a.tpf", "\\\\server\\share", "a.tpf"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FolderOf(c.Path), c.Folder) << c.Path;
        EXPECT_EQ(FileNameOf(c.Path), c.Name) << c.Path;
        // Joined again, the parts come apart the same way.
        const std::string joined = JoinPath(c.Folder, c.Name);
        EXPECT_EQ(FolderOf(joined), c.Folder) << joined;
        EXPECT_EQ(FileNameOf(joined), c.Name) << joined;
    }
    EXPECT_EQ(JoinPath("C:\\games", "backup"), "C:\\games\\backup");
}

TEST_F(WindowsFiles, ALockHasOneHolderAndLeavesTheFileReadable)
{
    const std::string file = Path("game.tpf");
    ASSERT_TRUE(WriteFileAtomically(file, "setup").Ok());
    {
        CFileLock first;
        CFileLock second;
        ASSERT_EQ(first.TryLock(file), CFileLock::Result::Locked);
        EXPECT_EQ(second.TryLock(file), CFileLock::Result::HeldElsewhere);
        std::string read;
        EXPECT_TRUE(ReadWholeFile(file, read));
        EXPECT_EQ(read, "setup");
    }
    CFileLock again;
    EXPECT_EQ(again.TryLock(file), CFileLock::Result::Locked) << "the lock goes with its holder";
    int error = 0;
    CFileLock missing;
    EXPECT_EQ(missing.TryLock(Path("none"), &error), CFileLock::Result::Failed);
    EXPECT_EQ(error, ENOENT);
    CFileLock made;
    EXPECT_EQ(made.Lock(Path("run.lock"), &error), CFileLock::Result::Locked);
}

TEST_F(WindowsFiles, AppendedRecordsFollowACutLineAndEachOther)
{
    const std::string ledger = Path("game.tpf.ledger");
    ASSERT_TRUE(WriteFileAtomically(ledger, "{\"cut").Ok());
    {
        CAppendOnlyFile one;
        CAppendOnlyFile two;
        ASSERT_TRUE(one.Open(ledger));
        ASSERT_TRUE(two.Open(ledger));
        EXPECT_TRUE(one.Append("a\n"));
        EXPECT_TRUE(two.Append("b\n"));
        EXPECT_TRUE(one.Append("c\n"));
        EXPECT_TRUE(one.Sync());
    }
    std::string read;
    ASSERT_TRUE(ReadWholeFile(ledger, read));
    EXPECT_EQ(read, "{\"cut\na\nb\nc\n");
    CAppendOnlyFile folder;
    EXPECT_FALSE(folder.Open(Path("")));
    EXPECT_EQ(folder.Error(), EISDIR);
}

TEST(WindowsClock, TimesAreWrittenInEnglishWithANumericZone)
{
    const std::time_t moment = 1700000000; // Tue, 14 Nov 2023 22:13:20 UTC
    EXPECT_EQ(FormatUtcTime("%a, %d %b %Y %H:%M:%S %z", moment), "Tue, 14 Nov 2023 22:13:20 +0000");
    EXPECT_EQ(FormatUtcTime("%Y-%m-%dT%H:%M:%SZ", moment), "2023-11-14T22:13:20Z");
    EXPECT_EQ(FormatUtcTime("%I:%M %p|%e|%F %T|%%", moment), "10:13 PM|14|2023-11-14 22:13:20|%");
    EXPECT_EQ(FormatUtcTime("%Q", moment), "") << "a conversion not known here gives nothing";
    EXPECT_EQ(FormatUtcTime(std::string(200, 'x').c_str(), moment), "");
    EXPECT_EQ(FormatLocalTime("%z", moment).size(), 5u);
}

TEST(WindowsDigest, Sha256WholeAndInPieces)
{
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    CSha256 pieces;
    pieces.Update("a", 1);
    pieces.Update("bc", 2);
    EXPECT_EQ(pieces.FinalHex(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(pieces.FinalHex(), "") << "a spent hash gives nothing";
}

TEST(WindowsCommands, FirstLineStatusAndTimeOut)
{
    const CommandOutcome echoed = RunForFirstLine("echo first line& echo second", 30000, 100);
    EXPECT_EQ(echoed.How, CommandOutcome::End::Exited);
    EXPECT_EQ(echoed.FirstLine, "first line");
    const CommandOutcome failed = RunForFirstLine("exit 3", 30000, 100);
    EXPECT_EQ(failed.How, CommandOutcome::End::Exited);
    EXPECT_EQ(failed.Status, 3);
    const CommandOutcome tooLong = RunForFirstLine("echo 1234567890", 30000, 5);
    EXPECT_TRUE(tooLong.LineTooLong);
    EXPECT_EQ(tooLong.FirstLine, "");
    const CommandOutcome endless = RunForFirstLine("for /L %i in (0,0,1) do @rem", 500, 100);
    EXPECT_EQ(endless.How, CommandOutcome::End::TimedOut);
}

// Run by the test below as a child: writes the last argument, as the program reads it, to the file
// the parent names.
TEST(WindowsArguments, DISABLED_WriteLastArgument)
{
    const char* file = std::getenv("TURNPOST_ARGUMENT_FILE");
    ASSERT_NE(file, nullptr);
    const std::vector<std::string> arguments = ProgramArguments(__argc, __argv);
    ASSERT_FALSE(arguments.empty());
    ASSERT_TRUE(WriteFileAtomically(file, arguments.back()).Ok());
}

// The C library's argv holds what the ANSI code page can show of an argument; the program reads the
// UTF-16 one.
TEST(WindowsArguments, ComeInUtf8)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("turnpost-argument-" + std::to_string(std::random_device()()));
    const std::string file = path.string();
    ASSERT_EQ(_putenv_s("TURNPOST_ARGUMENT_FILE", file.c_str()), 0);
    const std::string word = "caf\xc3\xa9 \xe2\x98\x83";
    const CommandOutcome run = RunForFirstLine("\"" + OwnProgramPath() +
                                                   "\" --gtest_also_run_disabled_tests"
                                                   " --gtest_filter=WindowsArguments.DISABLED_* \"" +
                                                   word + "\"",
                                               60000, 1000);
    EXPECT_EQ(run.How, CommandOutcome::End::Exited);
    EXPECT_EQ(run.Status, 0);
    std::string written;
    int error = 0;
    EXPECT_TRUE(ReadWholeFile(file, written, &error)) << error;
    EXPECT_EQ(written, word);
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

} // namespace
} // namespace turnpost
