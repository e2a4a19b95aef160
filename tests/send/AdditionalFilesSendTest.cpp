#include "send/CheckRun.h"
#include "send/SendRun.h"

#include "support/RecordingUserInterface.h"
#include "support/SampleSetup.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace turnpost {
namespace {

using test::RecordingUserInterface;
using test::SmtpSink;
using test::TempDir;

// Every mailed player gets the listed files after his turn file, "%P" naming his own; a file that
// cannot be read fails that player alone. Checked as a mail reader sees the messages.
TEST(AdditionalFilesSend, EachPlayerGetsTheListedFilesAfterHisTurnFile)
{
    SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    TempDir dir;
    const std::string rules = dir.Write("house-rules.txt", "No fleet may leave the Milky Way.\n");
    const std::string race1 = dir.Write("race1.r1", std::string(3000, '\x01'));
    const std::string race3 = dir.Write("race3.r1", std::string(70, '\x03'));

    GameDocument document;
    GameSetup& setup = document.Setup;
    setup = test::SampleSetup(sink.Address(), 0);
    setup.CheckTurnFiles = 0;
    setup.SendAdditionalFiles = 1;
    setup.AdditionalFiles = rules + "\n" + dir.File("race%P.r1");
    for (int n : {1, 2, 3})
        setup.Players[n - 1] = {1, "p" + std::to_string(n) + "@example.org",
                                dir.Write("alpha.m" + std::to_string(n), "turn " + std::to_string(n))};
    RecordingUserInterface ui{&document};
    ui.FillRows();

    // The check lists what each would get and finds the missing file first.
    const CheckRunOutcome check = CheckSendRun(document, ui);
    ASSERT_EQ(check.Players.size(), 3u);
    EXPECT_NE(check.Players[0].Attempt.Result.find("alpha.m1 + house-rules.txt + race1.r1"),
              std::string::npos)
        << check.Players[0].Attempt.Result;
    EXPECT_EQ(check.Players[1].Attempt.Result,
              "[Player 2] ** ERROR: Could not open file: " + dir.File("race2.r1"));

    const SendOutcome outcome = OnSend(document, ui);
    EXPECT_EQ(outcome.Failed, 1);
    ASSERT_EQ(outcome.Attempts.size(), 3u);
    EXPECT_EQ(outcome.Attempts[1].Result, check.Players[1].Attempt.Result); // the check's very words
    // The ledger's record names every file with its digest.
    ASSERT_EQ(outcome.Attempts[0].Files.size(), 3u);
    EXPECT_EQ(outcome.Attempts[0].Files[2].Path, race1);
    EXPECT_EQ(outcome.Attempts[0].Files[2].Size, 3000u);

    auto mails = test::ParseMails(sink.WaitForMessages(2));
    ASSERT_EQ(mails.size(), 2u);
    std::sort(mails.begin(), mails.end(), [](const auto& a, const auto& b) { return a.Subject < b.Subject; });
    const struct
    {
        const char* subject;
        std::vector<std::string> names;
        const std::string* race;
    } expected[] = {
        {"Alpha for player 1", {"alpha.m1", "house-rules.txt", "race1.r1"}, &race1},
        {"Alpha for player 3", {"alpha.m3", "house-rules.txt", "race3.r1"}, &race3},
    };
    for (std::size_t i = 0; i < 2; ++i) {
        const auto& mail = mails[i];
        SCOPED_TRACE(expected[i].subject);
        ASSERT_TRUE(mail.Ok) << mail.Error;
        EXPECT_EQ(mail.Subject, expected[i].subject);
        EXPECT_TRUE(mail.Defects.empty());
        ASSERT_EQ(mail.Attachments.size(), 3u);
        for (std::size_t a = 0; a < 3; ++a)
            EXPECT_EQ(mail.Attachments[a].FileName, expected[i].names[a]);
        EXPECT_EQ(mail.Attachments[1].Sha256, test::Sha256Hex("No fleet may leave the Milky Way.\n"));
        EXPECT_EQ(mail.Attachments[2].Size, i == 0 ? 3000u : 70u);
    }

    // Switched off, the list stays but nothing more is attached.
    setup.SendAdditionalFiles = 0;
    const SendOutcome plain = OnSend(document, ui);
    EXPECT_EQ(plain.Failed, 0);
    ASSERT_EQ(plain.Attempts[1].Files.size(), 1u);
}

} // namespace
} // namespace turnpost
