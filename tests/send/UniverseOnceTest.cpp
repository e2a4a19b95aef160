#include "send/SendRun.h"

#include "platform/Files.h"
#include "support/RecordingUserInterface.h"
#include "support/SampleSetup.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using namespace test;

// Every player of a run gets the universe file as it was read for the first one, and the record of
// the run says so: a file rewritten halfway (the host generating the next turn too early) changes
// neither the mails nor the digests the ledger keeps.
TEST(UniverseOnce, TheFileIsReadAndDigestedOncePerRun)
{
    SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    TempDir dir;
    GameDocument document;
    GameSetup& setup = document.Setup;
    setup = SampleSetup(sink.Address());
    setup.SendUniverseFile = 1;
    const std::string first = "universe as the turn began";
    setup.UniverseFile = dir.Write("alpha.xy", first);

    RecordingUserInterface ui{&document};
    ui.OnResult = [&](const std::string& line) {
        if (line.rfind("[Player 1] Sent OK", 0) == 0)
            dir.Write("alpha.xy", "universe of the next turn, rather longer");
    };
    ui.FillRows();
    const SendOutcome outcome = OnSend(document, ui);
    ASSERT_EQ(outcome.Failed, 0) << outcome.Summary;

    ASSERT_EQ(outcome.Attempts.size(), 3u);
    for (const PlayerAttempt& attempt : outcome.Attempts) {
        SCOPED_TRACE(attempt.Player);
        ASSERT_FALSE(attempt.Files.empty());
        EXPECT_EQ(attempt.Files[0].Path, setup.UniverseFile);
        EXPECT_EQ(attempt.Files[0].Size, first.size());
        EXPECT_EQ(attempt.Files[0].Sha256, Sha256Hex(first));
    }
    for (const ParsedMail& mail : ParseMails(sink.WaitForMessages(3))) {
        ASSERT_EQ(mail.Attachments.size(), 1u);
        EXPECT_EQ(mail.Attachments[0].Sha256, Sha256Hex(first));
    }
}

} // namespace
} // namespace turnpost
