#include "send/SendRun.h"

#include "mail/MailAttachment.h"
#include "platform/Digest.h"
#include "support/RecordingUserInterface.h"
#include "support/SampleSetup.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace turnpost {
namespace {

using namespace test;

// The ledger describes what each player got: a file rewritten between two players (or after the
// last one) is recorded as it went out to each, not as it is when the ledger is written.
TEST(MailedDigest, TheLedgerHasTheDigestOfTheBytesTheServerReceived)
{
    SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    TempDir dir;
    GameDocument document;
    GameSetup& setup = document.Setup;
    setup = SampleSetup(sink.Address(), 2);
    setup.SendAdditionalFiles = 1;
    const std::string notes = dir.Write("notes.txt", "notes as the turn began");
    setup.AdditionalFiles = notes;

    RecordingUserInterface ui{&document};
    ui.OnResult = [&](const std::string& line) {
        if (line.rfind("[Player 1] Sent OK", 0) == 0)
            dir.Write("notes.txt", "notes rewritten before player 2, rather longer");
        else if (line.rfind("[Player 2] Sent OK", 0) == 0)
            dir.Write("notes.txt", "rewritten after the last player");
    };
    ui.FillRows();
    const SendOutcome outcome = OnSend(document, ui);
    ASSERT_EQ(outcome.Failed, 0) << outcome.Summary;

    const std::vector<ParsedMail> mails = ParseMails(sink.WaitForMessages(2));
    ASSERT_EQ(mails.size(), 2u);
    ASSERT_EQ(outcome.Attempts.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        // The sink's files may be finished out of order: each mail is matched by its recipient.
        const auto mail = std::find_if(mails.begin(), mails.end(), [&](const ParsedMail& m) {
            return m.EnvelopeTo.size() == 1 &&
                   m.EnvelopeTo[0].find(outcome.Attempts[i].Address) != std::string::npos;
        });
        ASSERT_NE(mail, mails.end()) << outcome.Attempts[i].Address;
        ASSERT_EQ(mail->Attachments.size(), 1u);
        ASSERT_EQ(outcome.Attempts[i].Files.size(), 1u);
        const AttachedFile& recorded = outcome.Attempts[i].Files[0];
        EXPECT_EQ(recorded.Path, notes);
        EXPECT_EQ(recorded.Size, mail->Attachments[0].Size);
        EXPECT_EQ(recorded.Sha256, mail->Attachments[0].Sha256);
    }
    EXPECT_NE(mails[0].Attachments[0].Sha256, mails[1].Attachments[0].Sha256);
}

#ifdef __linux__
// Bytes this process has read through read(2) and its kind, from the kernel's count.
std::uint64_t BytesRead()
{
    std::ifstream io("/proc/self/io");
    for (std::string line; std::getline(io, line);)
        if (line.rfind("rchar:", 0) == 0)
            return std::stoull(line.substr(6));
    return 0;
}

// A turn file over the program's cap is refused by its size alone: neither the mail nor the ledger
// reads a byte of it.
TEST(MailedDigest, AFileTooLargeToMailIsNeverRead)
{
    TempDir dir;
    GameDocument document;
    GameSetup& setup = document.Setup;
    setup = SampleSetup("127.0.0.1:9", 1); // never reached
    setup.CheckTurnFiles = 0;              // a made-up file without a game header
    setup.SendPlayerFile = 1;
    setup.Players[0].PlayerFile = dir.Write("alpha.m1", "");
    std::filesystem::resize_file(setup.Players[0].PlayerFile, MaxAttachmentSize + 1); // sparse
    ASSERT_GT(BytesRead(), 0u) << "no /proc/self/io";

    RecordingUserInterface ui{&document};
    ui.FillRows();
    const std::uint64_t before = BytesRead();
    const SendOutcome outcome = OnSend(document, ui);
    const std::uint64_t read = BytesRead() - before;

    const std::string firstLine = outcome.Summary.substr(0, outcome.Summary.find('\n'));
    EXPECT_EQ(firstLine,
              "[Player 1] ** ERROR: File too large to mail (over 256 MiB): " + setup.Players[0].PlayerFile);
    EXPECT_LT(read, std::uint64_t{1} << 20);
    ASSERT_EQ(outcome.Attempts.size(), 1u);
    ASSERT_EQ(outcome.Attempts[0].Files.size(), 1u);
    EXPECT_EQ(outcome.Attempts[0].Files[0].Size, MaxAttachmentSize + 1);
    EXPECT_EQ(outcome.Attempts[0].Files[0].Sha256, "");
}
#endif

} // namespace
} // namespace turnpost
