#include "send/RunLock.h"
#include "send/SendRun.h"

#include "platform/Files.h"
#include "setup/SetupFile.h"
#include "support/RecordingUserInterface.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace turnpost {
namespace {

using test::RecordingUserInterface;
using test::TempDir;

/// A saved one-player setup whose server nobody listens on: a run that gets past the lock fails.
struct RunLockGame : ::testing::Test
{
    TempDir Dir;
    GameDocument Document;

    RunLockGame()
    {
        Document.FilePath = Dir.File("game.tpf");
        Document.CommandLineRun = 1;
        Document.Setup.GameName = "Alpha";
        Document.Setup.SmtpServer = "127.0.0.1:1";
        Document.Setup.SmtpTimeout = 1000;
        Document.Setup.Players[0] = {1, "p1@example.org", ""};
        Save();
    }
    void Save()
    {
        RecordingUserInterface ui;
        ASSERT_TRUE(WriteSetupFile(Document.FilePath, Document.Setup, ui));
    }
    SendOutcome Send(const std::string& path, RecordingUserInterface& ui)
    {
        GameDocument document = Document;
        document.FilePath = path;
        ui.FillRows();
        return OnSend(document, ui);
    }
};

TEST_F(RunLockGame, ASecondRunIsRefusedWhateverTheSetupWentThroughMeanwhile)
{
    ASSERT_EQ(::symlink("game.tpf", Dir.File("link.tpf").c_str()), 0);
    struct Case
    {
        const char* name;
        const char* secondRunFile;
        bool saveBetween; ///< the setup is saved (a new file renamed over it) while the first run holds it
    };
    const Case cases[] = {
        {"same file", "game.tpf", false},
        {"same file saved meanwhile", "game.tpf", true},
        {"through a link", "link.tpf", false},
        {"through a link, saved meanwhile", "link.tpf", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRunLock first;
        ASSERT_EQ(first.Take(Document), CRunLock::Result::Locked);
        if (c.saveBetween)
            Save();

        RecordingUserInterface ui;
        const std::string path = Dir.File(c.secondRunFile);
        const SendOutcome outcome = Send(path, ui);
        EXPECT_FALSE(outcome.Started);
        ASSERT_EQ(ui.Messages.size(), 1u);
        EXPECT_EQ(ui.Messages[0].Text, path + " is being sent by another run");
        EXPECT_TRUE(ui.Progress.empty());
    }
    // Once the first run is over, the next one goes ahead.
    RecordingUserInterface ui;
    EXPECT_TRUE(Send(Dir.File("link.tpf"), ui).Started);
}

} // namespace
} // namespace turnpost
