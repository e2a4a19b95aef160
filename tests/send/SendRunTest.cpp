#include "send/SendRun.h"

#include "mail/MailAttachment.h"

#include "support/RecordingUserInterface.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace turnpost {
namespace {

using test::ReadFileBytes;
using test::RecordingUserInterface;
using test::TempDir;

std::string Skipped(int number)
{
    return "[Player " + std::to_string(number) + "] skipped\n";
}

std::string AllSkipped(int from = 1, int to = PlayerCount)
{
    std::string lines;
    for (int n = from; n <= to; ++n)
        lines += Skipped(n);
    return lines;
}

/// A setup that reaches no server: every test here is decided before a connection would be opened.
struct SendRunTest : ::testing::Test
{
    SendRunTest()
    {
        document.Setup.GameName = "Alpha";
        document.Setup.SmtpServer = "127.0.0.1:9"; // never reached by these tests
        document.Setup.ReturnAddress = "host@example.org";
        document.Setup.DisplaySummary = 1;
        document.Setup.SaveReportToFile = 1;
        document.Setup.ReportFile = dir.File("report.txt");
    }

    SendOutcome Run()
    {
        ui.FillRows(); // the window shows the setup; the run gathers it back
        return OnSend(document, ui);
    }

    /// The saved report without its header.
    std::string ReportBody() const
    {
        const std::string report = ReadFileBytes(document.Setup.ReportFile);
        const auto start = report.find("Turn year:  ");
        return start == std::string::npos ? report : report.substr(report.find("\r\n\r\n", start) + 4);
    }

    TempDir dir;
    GameDocument document;
    RecordingUserInterface ui{&document};
};

TEST_F(SendRunTest, NoServerEndsTheRunBeforeItStarts)
{
    for (const int commandLine : {0, 1}) {
        RecordingUserInterface fresh{&document};
        document.Setup.SmtpServer.clear();
        document.CommandLineRun = commandLine;
        fresh.FillRows();
        const SendOutcome outcome = OnSend(document, fresh);
        EXPECT_FALSE(outcome.Started);
        EXPECT_FALSE(outcome.Succeeded());
        EXPECT_EQ(fresh.GatherCount, 1);
        EXPECT_TRUE(fresh.Progress.empty());
        EXPECT_TRUE(fresh.Summaries.empty());
        EXPECT_TRUE(fresh.BusyChanges.empty());
        EXPECT_FALSE(std::ifstream(document.Setup.ReportFile).good());
        if (commandLine) {
            EXPECT_TRUE(fresh.Messages.empty());
        } else {
            ASSERT_EQ(fresh.Messages.size(), 1u);
            EXPECT_EQ(fresh.Messages[0].Text, "No SMTP server specified: check your mail settings!");
            EXPECT_EQ(fresh.Messages[0].Caption, "Error!");
            EXPECT_EQ(fresh.Messages[0].Icon, MessageIcon::Exclamation);
        }
    }
}

TEST_F(SendRunTest, NothingSelectedGivesSixteenSkippedLines)
{
    document.Setup.DetailedReport = 1;
    document.Setup.PauseAfterConnection = 500;
    const SendOutcome outcome = Run();

    EXPECT_TRUE(outcome.Succeeded());
    EXPECT_EQ(outcome.Summary, AllSkipped());
    ASSERT_EQ(ui.Summaries.size(), 1u);
    EXPECT_EQ(ui.Summaries[0], AllSkipped());
    std::string crlf = AllSkipped();
    for (std::size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2)
        crlf.insert(at, "\r");
    EXPECT_EQ(ReportBody(), crlf);
    EXPECT_EQ(document.CurrentPlayerNumber, 16);

    ASSERT_EQ(ui.Progress.size(), 1u);
    const auto& progress = ui.Progress[0];
    EXPECT_EQ(progress.Title, "Status");
    EXPECT_EQ(progress.UpperBound, 16);
    EXPECT_EQ(progress.Position, 16);
    EXPECT_EQ(progress.Texts, (std::vector<std::string>{"Initializing...", "Saving the report..."}));
    EXPECT_EQ(progress.Pumps, 18);
    EXPECT_EQ(progress.Pauses, std::vector<int>(16, 500)) << "skipped slots pause too";
    EXPECT_EQ(ui.BusyChanges, (std::vector<bool>{true, false}));
    EXPECT_TRUE(ui.Messages.empty());
}

TEST_F(SendRunTest, NegativeOrZeroPauseDoesNotPause)
{
    for (const int pause : {0, -1, -100000}) {
        RecordingUserInterface fresh{&document};
        document.Setup.PauseAfterConnection = pause;
        fresh.FillRows();
        OnSend(document, fresh);
        ASSERT_EQ(fresh.Progress.size(), 1u);
        EXPECT_TRUE(fresh.Progress[0].Pauses.empty()) << pause;
    }
}

TEST_F(SendRunTest, UnreadableFileIsReportedAndNotMailed)
{
    auto& setup = document.Setup;
    setup.CheckTurnFiles = 0; // the reading of the attachments themselves is tested here
    setup.DetailedReport = 1;
    setup.SendPlayerFile = 1;
    setup.UniverseFile = dir.Write("alpha.xy", "universe");
    setup.Players[1] = {1, "two@example.org", dir.File("alpha.m2")}; // missing
    setup.Players[2] = {1, "three@example.org", dir.Path()};         // a folder cannot be attached
    const SendOutcome outcome = Run();

    const std::string two = "[Player 2] ** ERROR: Could not open file: " + setup.Players[1].PlayerFile + "\n";
    const std::string three =
        "[Player 3] ** ERROR: Could not open file: " + dir.Path() + " (not a regular file)\n";
    EXPECT_EQ(outcome.Summary, Skipped(1) + two + three + AllSkipped(4));
    EXPECT_EQ(outcome.Failed, 2);
    EXPECT_FALSE(outcome.Succeeded());
    EXPECT_EQ(ui.Progress[0].Texts,
              (std::vector<std::string>{"Initializing...", "Sending to Player #2...",
                                        "Sending to Player #3...", "Saving the report..."}));

    // The detailed report follows each result with the time, the file and the address.
    const std::regex detail(
        R"(\[Player 2\] \*\* ERROR: Could not open file: [^\r]*\r\n)"
        R"(\t(0[1-9]|1[0-2]):[0-5]\d:[0-5]\d [AP]M \([^\r]*alpha\.m2 to two@example\.org\)\r\n)"
        R"(\[Player 3\][^\r]*\r\n\t[^\r]* \([^\r]* to three@example\.org\)\r\n)"
        R"(\[Player 4\] skipped\r\n[\s\S]*)");
    EXPECT_TRUE(std::regex_match(ReportBody().substr(Skipped(1).size() + 1), detail)) << ReportBody();

    // The universe file is checked before the player's own.
    setup.SendUniverseFile = 1;
    setup.UniverseFile = dir.File("gone.xy");
    EXPECT_EQ(Run().Summary, Skipped(1) + "[Player 2] ** ERROR: Could not open file: " + setup.UniverseFile +
                                 "\n" + "[Player 3] ** ERROR: Could not open file: " + setup.UniverseFile +
                                 "\n" + AllSkipped(4));
}

TEST_F(SendRunTest, FileOverTheSizeLimitIsRefusedBeforeItIsRead)
{
    document.Setup.CheckTurnFiles = 0; // made-up files without game headers
    // Sparse: the size is there without the disk space.
    const auto sparse = [&](const std::string& name) {
        const std::string path = dir.Write(name, "");
        EXPECT_EQ(::truncate(path.c_str(), static_cast<off_t>(MaxAttachmentSize + 1)), 0);
        return path;
    };
    auto& setup = document.Setup;
    setup.Players[0] = {1, "one@example.org", sparse("alpha.m1")};
    SendOutcome outcome = Run();
    EXPECT_EQ(outcome.Summary, "[Player 1] ** ERROR: File too large to mail (over 256 MiB): " +
                                   setup.Players[0].PlayerFile + "\n" + AllSkipped(2));
    EXPECT_EQ(outcome.Failed, 1);

    setup.SendUniverseFile = 1;
    setup.UniverseFile = sparse("alpha.xy");
    outcome = Run();
    EXPECT_EQ(outcome.Summary.substr(0, outcome.Summary.find('\n')),
              "[Player 1] ** ERROR: File too large to mail (over 256 MiB): " + setup.UniverseFile);
}

#if !defined(__SANITIZE_ADDRESS__)
// The address sanitizer reserves far more address space than any limit this test could set.
TEST_F(SendRunTest, MemoryThatRunsOutFailsOnlyThePlayerItBelongsTo)
{
    document.Setup.CheckTurnFiles = 0; // made-up files without game headers
    // A universe file small enough to be encoded once for the run, whose text does not fit in what
    // is left.
    auto& setup = document.Setup;
    setup.SendUniverseFile = 1;
    setup.UniverseFile = dir.Write("alpha.xy", "");
    ASSERT_EQ(::truncate(setup.UniverseFile.c_str(), 7 << 20), 0);
    setup.Players[0] = {1, "one@example.org", ""};
    setup.Players[1] = {1, "two@example.org", ""};

    std::uint64_t used = 0; // bytes of address space in use now
    std::istringstream status(ReadFileBytes("/proc/self/status"));
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmSize:", 0) == 0)
            used = std::stoull(line.substr(7)) * 1024;
    ASSERT_GT(used, 0u);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_AS, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = used + (4 << 20);
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &tight), 0);
    const SendOutcome outcome = Run();
    ::setrlimit(RLIMIT_AS, &old);

    EXPECT_EQ(outcome.Summary,
              "[Player 1] ** ERROR: Out of memory\n[Player 2] ** ERROR: Out of memory\n" + AllSkipped(3));
    EXPECT_EQ(outcome.Failed, 2);
    EXPECT_NE(ReportBody().find("[Player 2] ** ERROR: Out of memory\r\n"), std::string::npos);
}
#endif

TEST_F(SendRunTest, CancelIsNoticedAtTheStartOfTheNextSlot)
{
    auto& setup = document.Setup;
    setup.CheckTurnFiles = 0; // player 5 fails as he is mailed, not before the run
    setup.PauseAfterConnection = 20;
    setup.Players[4] = {1, "five@example.org", dir.File("alpha.m5")}; // fails at once: no such file
    setup.Players[7] = {1, "eight@example.org", dir.File("alpha.m8")};
    setup.EmailReport = 0;
    // Pump 1 follows "Initializing...", pump n + 1 starts slot n: the click during slot 5 is seen at 6.
    ui.CancelAtPump = 7;
    const SendOutcome outcome = Run();

    EXPECT_TRUE(outcome.Cancelled);
    EXPECT_FALSE(outcome.Succeeded());
    EXPECT_EQ(outcome.Failed, 2) << "the unreached selected player counts as not sent";
    EXPECT_EQ(document.CurrentPlayerNumber, 6);
    EXPECT_EQ(outcome.Summary, AllSkipped(1, 4) + "[Player 5] ** ERROR: Could not open file: " +
                                   setup.Players[4].PlayerFile + "\n");
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, "Operation cancelled!");
    EXPECT_EQ(ui.Messages[0].Caption, "");
    EXPECT_EQ(ui.Progress[0].Pauses, std::vector<int>(5, 20));
    // The summary and the report still follow, with the slots reached.
    ASSERT_EQ(ui.Summaries.size(), 1u);
    EXPECT_EQ(ui.Summaries[0], outcome.Summary);
    EXPECT_NE(ReportBody().find("[Player 5]"), std::string::npos);
    EXPECT_EQ(ReportBody().find("[Player 6]"), std::string::npos);
    EXPECT_EQ(ui.BusyChanges, (std::vector<bool>{true, false}));
}

TEST_F(SendRunTest, CommandLineRunShowsNoSummaryAndReportsAFailedSave)
{
    document.CommandLineRun = 1;
    document.Setup.ReportFile = dir.File("no/such/folder/report.txt");
    const SendOutcome outcome = Run();
    EXPECT_TRUE(ui.Summaries.empty());
    EXPECT_EQ(outcome.Summary, AllSkipped());
    EXPECT_TRUE(outcome.ReportFailed);
    EXPECT_TRUE(outcome.ReportFileFailed);
    EXPECT_NE(outcome.ReportFileError.find("report.txt"), std::string::npos);
    EXPECT_FALSE(outcome.Succeeded());
    EXPECT_TRUE(ui.Messages.empty());
}

// The window's summary says what became of the report, as the command line does, and the status
// window says the report is under way once the players are done.
TEST_F(SendRunTest, WindowedSummaryComesAfterTheReportAndNamesItsFailure)
{
    document.Setup.ReportFile = dir.File("no/such/folder/report.txt");
    const SendOutcome outcome = Run();
    ASSERT_EQ(ui.Summaries.size(), 1u);
    EXPECT_EQ(ui.Summaries[0], outcome.Summary + "\nThe report could not be saved to " +
                                   document.Setup.ReportFile + ": " + outcome.ReportFileError + "\n");
    ASSERT_FALSE(ui.Progress.empty());
    EXPECT_EQ(ui.Progress[0].Texts.back(), "Saving the report...");
}

TEST_F(SendRunTest, PasswordThatCannotBeHadStopsEveryConnection)
{
    ::unsetenv("TURNPOST_SMTP_PASSWORD");
    auto& setup = document.Setup;
    setup.SmtpUser = "host";
    setup.SendPlayerFile = 0;
    setup.Players[0] = {1, "one@example.org", ""};
    setup.Players[5] = {1, "six@example.org", ""};
    setup.EmailReport = 1;
    setup.ReportAddress = "host@example.org";
    const SendOutcome outcome = Run();

    const std::string one = "[Player 1] ** ERROR: ";
    ASSERT_EQ(outcome.Summary.compare(0, one.size(), one), 0) << outcome.Summary;
    const std::string error = outcome.Summary.substr(one.size(), outcome.Summary.find('\n') - one.size());
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find("Connection error"), std::string::npos) << "nothing may be connected: " << error;
    EXPECT_NE(outcome.Summary.find("[Player 6] ** ERROR: " + error + "\n"), std::string::npos);
    EXPECT_EQ(outcome.Failed, 2);
    EXPECT_TRUE(outcome.ReportMailFailed);
    EXPECT_EQ(outcome.ReportMailError, error);
}

} // namespace
} // namespace turnpost
