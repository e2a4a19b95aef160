#include "send/SendRun.h"

#include "platform/Version.h"
#include "support/RecordingUserInterface.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <regex>

namespace turnpost {
namespace {

using test::ParsedMail;
using test::RecordingUserInterface;
using test::SmtpSink;
using test::TempDir;

using test::RandomBytes;

std::string Escaped(const std::string& text)
{
    return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

std::vector<std::string> Lines(const std::string& text, const std::string& end)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size())
        lines.push_back(text.substr(start, at - start));
    if (start < text.size())
        lines.push_back(text.substr(start) + "<no line end>");
    return lines;
}

const char* const Clock = R"((0[1-9]|1[0-2]):[0-5]\d:[0-5]\d [AP]M)";

TEST(SendEndToEnd, SixteenSlotsReachARealServerAndTheReportFollows)
{
    SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    TempDir dir;

    GameDocument document;
    document.FilePath = dir.File("alpha.tpf");
    auto& setup = document.Setup;
    setup.GameName = "Alpha";
    setup.CheckTurnFiles = 0; // made-up files without game headers
    const std::string universe = RandomBytes(3001, 99);
    setup.UniverseFile = dir.Write("alpha.xy", universe);
    std::string host = RandomBytes(40, 7);
    host[12] = 5; // turn 5: the year 2405
    host[13] = 0;
    dir.Write("alpha.hst", host);
    setup.SmtpServer = sink.Address();
    setup.ReturnAddress = "host@example.org";
    setup.MessageSubject = "%G: turn %Y for player %P";
    setup.MessageText = "Hello player %P,\n.\nthe year %Y of %G awaits.\n";
    setup.SendPlayerFile = 1;
    setup.SendUniverseFile = 1;
    setup.SaveReportToFile = 1;
    setup.ReportFile = dir.File("report.txt");
    setup.EmailReport = 1;
    setup.ReportAddress = "report@example.org";
    setup.DetailedReport = 1;

    std::map<int, std::string> turns; // player number -> turn file bytes
    for (const int n : {1, 3, 4, 12, 16}) {
        auto& slot = setup.Players[static_cast<std::size_t>(n - 1)];
        slot.Selected = 1;
        slot.EmailAddress = "player" + std::to_string(n) + "@example.org";
        slot.PlayerFile = dir.File("alpha.m" + std::to_string(n));
        if (n != 4) // player 4's turn file is missing
        {
            turns[n] = RandomBytes(57 * n + n % 3, static_cast<unsigned>(n));
            dir.Write("alpha.m" + std::to_string(n), turns[n]);
        }
    }

    RecordingUserInterface ui(&document);
    ui.FillRows();
    const SendOutcome outcome = OnSend(document, ui);
    EXPECT_EQ(outcome.Failed, 1);
    EXPECT_FALSE(outcome.ReportFailed) << outcome.ReportMailError << outcome.ReportFileError;

    const auto files = sink.WaitForMessages(turns.size() + 1);
    ASSERT_EQ(files.size(), turns.size() + 1);
    for (const auto& file : files)
        EXPECT_NE(test::ReadFileBytes(file).find("\nX-Mailer: " + std::string(ProgramName) + "\n"),
                  std::string::npos)
            << file;
    std::map<std::string, ParsedMail> byRecipient;
    for (const ParsedMail& mail : test::ParseMails(files)) {
        ASSERT_TRUE(mail.Ok) << mail.Error;
        ASSERT_EQ(mail.EnvelopeTo.size(), 1u);
        byRecipient[mail.EnvelopeTo[0]] = mail;
    }

    for (const auto& [n, turn] : turns) {
        const std::string address = "player" + std::to_string(n) + "@example.org";
        SCOPED_TRACE(address);
        ASSERT_EQ(byRecipient.count("<" + address + ">"), 1u);
        const ParsedMail& mail = byRecipient["<" + address + ">"];
        EXPECT_EQ(mail.Subject, "Alpha: turn 2405 for player " + std::to_string(n));
        EXPECT_EQ(mail.From, "host@example.org");
        EXPECT_EQ(mail.To, std::vector<std::string>{address});
        EXPECT_EQ(mail.EnvelopeFrom, "<host@example.org>");
        EXPECT_TRUE(mail.Defects.empty()) << mail.Defects.front();
        // The text part ends with the line break that opens the next part's delimiter line.
        EXPECT_EQ(mail.Text,
                  "Hello player " + std::to_string(n) + ",\n.\nthe year 2405 of Alpha awaits.\n\n");
        ASSERT_EQ(mail.Attachments.size(), 2u);
        EXPECT_EQ(mail.Attachments[0].FileName, "alpha.xy");
        EXPECT_EQ(mail.Attachments[0].Size, universe.size());
        EXPECT_EQ(mail.Attachments[0].Sha256, test::Sha256Hex(universe));
        EXPECT_EQ(mail.Attachments[1].FileName, "alpha.m" + std::to_string(n));
        EXPECT_EQ(mail.Attachments[1].Size, turn.size());
        EXPECT_EQ(mail.Attachments[1].Sha256, test::Sha256Hex(turn));
    }

    // The report file, line by line, the clock fields by pattern.
    std::vector<std::string> expected = {
        std::string(ProgramName) + " Send Report",
        R"(\d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} - )" + std::string(Clock) +
            R"( \(.*\))",
        "",
        "   Game name:  Alpha",
        "   Data file:  " + Escaped(document.FilePath),
        "   Turn year:  2405",
        "",
    };
    for (int n = 1; n <= PlayerCount; ++n) {
        const std::string player = R"(\[Player )" + std::to_string(n) + R"(\] )";
        if (!setup.Players[static_cast<std::size_t>(n - 1)].Selected) {
            expected.push_back(player + "skipped");
            continue;
        }
        const std::string file = Escaped(setup.Players[static_cast<std::size_t>(n - 1)].PlayerFile);
        expected.push_back(player + (n == 4 ? R"(\*\* ERROR: Could not open file: )" + file : "Sent OK"));
        expected.push_back("\t" + std::string(Clock) + " \\(" + file + " to player" + std::to_string(n) +
                           R"(@example\.org\))");
    }
    const auto saved = Lines(test::ReadFileBytes(setup.ReportFile), "\r\n");
    ASSERT_EQ(saved.size(), expected.size()) << test::ReadFileBytes(setup.ReportFile);
    for (std::size_t i = 0; i < saved.size(); ++i)
        EXPECT_TRUE(std::regex_match(saved[i], std::regex(expected[i])))
            << "line " << i + 1 << ": " << saved[i];

    // The report mail carries the same report with bare line ends.
    ASSERT_EQ(byRecipient.count("<report@example.org>"), 1u);
    const ParsedMail& report = byRecipient["<report@example.org>"];
    EXPECT_EQ(report.Subject, "Alpha - Turnpost Send Report for Year 2405");
    EXPECT_TRUE(report.Attachments.empty());
    auto mailed = Lines(report.Text, "\n");
    // The end-of-data line and the dump add empty lines of their own.
    while (!mailed.empty() && mailed.back().empty())
        mailed.pop_back();
    ASSERT_EQ(mailed.size(), expected.size()) << report.Text;
    for (std::size_t i = 0; i < mailed.size(); ++i)
        EXPECT_TRUE(std::regex_match(mailed[i], std::regex(expected[i])))
            << "line " << i + 1 << ": " << mailed[i];

    // The dialog shows the summary form: no detail lines.
    ASSERT_EQ(ui.Summaries.size(), 1u);
    EXPECT_EQ(ui.Summaries[0], outcome.Summary);
    EXPECT_EQ(std::count(outcome.Summary.begin(), outcome.Summary.end(), '\n'), PlayerCount);
}

} // namespace
} // namespace turnpost
