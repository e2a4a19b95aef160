#include "send/SendReport.h"

#include "platform/Version.h"
#include "support/FifoReader.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <regex>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace turnpost {
namespace {

using test::ReadFileBytes;
using test::TempDir;

const std::regex ClockLine(R"(\d\d [A-Z][a-z]{2} \d{4} - (0[1-9]|1[0-2]):[0-5]\d:[0-5]\d [AP]M \(.*\))");
const std::string ReportHeading = std::string(ProgramName) + " Send Report\r\n";

TEST(SendReport, HeaderLeavesPlaceholdersForLater)
{
    GameDocument document; // never saved: "Untitled"
    const std::string header = BuildReportHeader(document);
    const auto firstBreak = header.find('\n');
    const auto clockEnd = header.find('\n', firstBreak + 1);
    EXPECT_EQ(header.substr(0, firstBreak + 1), std::string(ProgramName) + " Send Report\n");
    EXPECT_TRUE(std::regex_match(header.substr(firstBreak + 1, clockEnd - firstBreak - 1), ClockLine))
        << header;
    EXPECT_EQ(header.substr(clockEnd),
              "\n\n   Game name:  %G\n   Data file:  Untitled\n   Turn year:  %Y\n\n");
}

TEST(SendReport, SavedReportIsExpandedWithCrLfAndReplacesTheOldOne)
{
    TempDir dir;
    GameDocument document;
    document.FilePath = dir.File("alpha.tpf");
    document.Setup.GameName = "Alpha";
    document.Setup.UniverseFile = dir.File("alpha.xy");
    std::string host(18, '\0');
    host[12] = 5;
    dir.Write("alpha.hst", host);
    document.Setup.ReportFile = dir.File("report.txt");
    document.CurrentPlayerNumber = 16;
    dir.Write("report.txt", std::string(5000, 'x'));

    ASSERT_TRUE(SaveReport(document, "[Player 1] Sent OK\n\tto %P@example.org\r\n"));
    const std::string saved = ReadFileBytes(document.Setup.ReportFile);
    const std::string expectedTail =
        "   Game name:  Alpha\r\n   Data file:  " + document.FilePath +
        "\r\n   Turn year:  2405\r\n\r\n[Player 1] Sent OK\r\n\tto 16@example.org\r\n"; // never CR CR LF
    ASSERT_GE(saved.size(), expectedTail.size());
    EXPECT_EQ(saved.substr(0, ReportHeading.size()), ReportHeading);
    EXPECT_EQ(saved.substr(saved.size() - expectedTail.size()), expectedTail);
    const auto clockEnd = saved.find("\r\n", 26);
    EXPECT_TRUE(std::regex_match(saved.substr(26, clockEnd - 26), ClockLine));
    EXPECT_EQ(saved.substr(clockEnd, 4), "\r\n\r\n");
}

TEST(SendReport, UnwritableReportFileFailsWithItsReason)
{
    TempDir dir;
    GameDocument document;
    std::string error;
    document.Setup.ReportFile = dir.File("missing/report.txt");
    EXPECT_FALSE(SaveReport(document, "body\n", &error));
    EXPECT_NE(error.find(document.Setup.ReportFile), std::string::npos) << error;

    document.Setup.ReportFile.clear();
    EXPECT_FALSE(SaveReport(document, "body\n", &error));
    EXPECT_FALSE(error.empty());
}

TEST(SendReport, AFifoOrADeviceIsWrittenIntoNotReplaced)
{
    TempDir dir;
    GameDocument document;
    document.Setup.ReportFile = dir.File("log-collector");
    ASSERT_EQ(::mkfifo(document.Setup.ReportFile.c_str(), 0600), 0);
    bool saved = false;
    std::string error;
    const std::string collected = test::ReadWhatIsWritten(
        document.Setup.ReportFile, [&] { return SaveReport(document, "[Player 1] Sent OK\n", &error); },
        saved);
    EXPECT_TRUE(saved) << error;
    EXPECT_EQ(collected.substr(0, ReportHeading.size()), ReportHeading);
    EXPECT_NE(collected.find("[Player 1] Sent OK\r\n"), std::string::npos);
    struct stat st
    {
    };
    ASSERT_EQ(::lstat(document.Setup.ReportFile.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A full device stays a device; the report fails with the reason. Making one needs root.
    document.Setup.ReportFile = dir.File("full");
    if (::geteuid() == 0 &&
        ::mknod(document.Setup.ReportFile.c_str(), S_IFCHR | 0666, ::makedev(1, 7)) == 0) {
        EXPECT_FALSE(SaveReport(document, "body\n", &error));
        EXPECT_EQ(error, "Disk full while accessing " + document.Setup.ReportFile + ".");
        ASSERT_EQ(::lstat(document.Setup.ReportFile.c_str(), &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
    }
}

} // namespace
} // namespace turnpost
