#include "ui/MainWindow.h"
#include "setup/SetupFile.h"
#include "support/RecordingUserInterface.h"
#include "support/TempDir.h"
#include "ui/NextModal.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace turnpost {
namespace {

using test::OnNextModal;
using test::RecordingUserInterface;
using test::TempDir;

/// A shown main window on a fresh document, its questions answered by a script.
class Harness
{
public:
    Harness()
    {
        window.SetSendCommand([this] { ++sends; });
        window.show();
    }

    template <typename T = QWidget> T* Child(const QString& name)
    {
        T* child = window.findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name.toStdString();
        return child;
    }
    QLineEdit* Edit(const QString& name) { return Child<QLineEdit>(name); }
    QLineEdit* Row(int n) { return Edit(QString("rowEdit%1").arg(n)); }
    void Click(const QString& name)
    {
        // A check box or radio button takes clicks on its box and label only, so aim at the box.
        QAbstractButton* button = Child<QAbstractButton>(name);
        const bool box = qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button);
        QTest::mouseClick(button, Qt::LeftButton, {}, box ? QPoint(6, button->height() / 2) : QPoint());
    }
    /// Keys reach shortcuts and the focus chain only in the active window.
    void Activate()
    {
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    void Type(QLineEdit* edit, const QString& text) { QTest::keyClicks(edit, text); }
    void Trigger(const QString& action) { Child<QAction>(action)->trigger(); }
    std::string Caption() const { return window.windowTitle().toStdString(); }

    GameDocument document;
    RecordingUserInterface ui; // without a document: the window's own rows are under test
    CMainWindow window{document, &ui};
    int sends = 0;
};

class MainWindowTest : public ::testing::Test, protected Harness
{
};

TEST_F(MainWindowTest, StartsFreshWithAddressesShownAndTheGameNameFocused)
{
    EXPECT_EQ(Caption(), "Turnpost - Untitled");
    EXPECT_EQ(document.FilePath, "Untitled");
    EXPECT_EQ(document.DisplayMode, 0);
    EXPECT_EQ(document.Setup.SendPlayerFile, 1);
    EXPECT_EQ(document.Modified, 0);
    EXPECT_TRUE(Child<QRadioButton>("emailRadio")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>("playerFileCheck")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>("additionalFilesCheck")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>("listButton")->isEnabled());
    EXPECT_EQ(window.focusWidget(), Edit("gameNameEdit"));
}

TEST_F(MainWindowTest, DisplaySwitchKeepsWhatWasTypedInBothDirectionsAndNeverSetsModified)
{
    Type(Row(1), "ann@example.org");
    document.Modified = 0;
    Click("playerFilesRadio");
    EXPECT_EQ(document.DisplayMode, 1);
    EXPECT_EQ(document.Setup.Players[0].EmailAddress, "ann@example.org");
    EXPECT_EQ(Row(1)->text(), "");

    Type(Row(2), "/games/war.m2");
    document.Modified = 0;
    Click("emailRadio");
    EXPECT_EQ(document.Setup.Players[1].PlayerFile, "/games/war.m2");
    EXPECT_EQ(Row(1)->text(), "ann@example.org");
    EXPECT_EQ(Row(2)->text(), "");

    Click("playerFilesRadio");
    EXPECT_EQ(Row(2)->text(), "/games/war.m2");
    EXPECT_EQ(document.Modified, 0);
}

TEST_F(MainWindowTest, ClickingTheSelectedRadioGathersAndRefillsNothing)
{
    Type(Row(1), "typed");
    document.Setup.Players[0].EmailAddress = "untouched";
    document.Modified = 0;
    Click("emailRadio");
    EXPECT_EQ(Row(1)->text(), "typed");
    EXPECT_EQ(document.Setup.Players[0].EmailAddress, "untouched");
    EXPECT_EQ(document.Modified, 0);
}

TEST_F(MainWindowTest, EveryEditOfTheHostSetsModified)
{
    const std::vector<std::pair<const char*, std::function<void()>>> edits = {
        {"one character in the game name", [&] { Type(Edit("gameNameEdit"), "g"); }},
        {"one character in the universe file", [&] { Type(Edit("universeFileEdit"), "u"); }},
        {"one character in a row", [&] { Type(Row(16), "r"); }},
        {"a player check box", [&] { Click("playerCheck3"); }},
        {"a send option", [&] { Click("universeFileCheck"); }},
        {"Select All", [&] { Click("selectAllButton"); }},
        {"Select All again, changing nothing", [&] { Click("selectAllButton"); }},
        {"Select None", [&] { Click("selectNoneButton"); }},
        {"Select None again, changing nothing", [&] { Click("selectNoneButton"); }},
    };
    for (const auto& [what, edit] : edits) {
        document.Modified = 0;
        edit();
        EXPECT_EQ(document.Modified, 1) << what;
    }
    EXPECT_EQ(document.Setup.GameName, "g");
    EXPECT_EQ(document.Setup.UniverseFile, "u");
    EXPECT_EQ(document.Setup.SendUniverseFile, 1);
}

TEST_F(MainWindowTest, CheckBoxesAndSelectAllAreTheSelectionOfTheSlots)
{
    Click("playerCheck3");
    EXPECT_EQ(document.Setup.Players[2].Selected, 1);
    Click("selectAllButton");
    for (const PlayerSlot& slot : document.Setup.Players)
        EXPECT_EQ(slot.Selected, 1);
    EXPECT_TRUE(Child<QCheckBox>("playerCheck16")->isChecked());
    Click("selectNoneButton");
    for (const PlayerSlot& slot : document.Setup.Players)
        EXPECT_EQ(slot.Selected, 0);
    EXPECT_EQ(document.Setup.SendPlayerFile, 1); // send options are not players
}

TEST_F(MainWindowTest, BrowseDerivesTheGameNameOnlyWhenNoneIsTyped)
{
    TempDir dir;
    ui.FileChoices = {dir.File("alpha.xy"), dir.File("beta.xy")};
    Click("browseButton");
    EXPECT_EQ(ui.FileDialogs, std::vector<std::string>{"open Stars! universe files (*.xy)|*.xy|| xy"});
    EXPECT_EQ(document.Setup.GameName, "alpha");
    EXPECT_EQ(document.Setup.UniverseFile, dir.File("alpha.xy"));
    EXPECT_EQ(Edit("gameNameEdit")->text(), "alpha");
    EXPECT_EQ(Edit("universeFileEdit")->text().toStdString(), dir.File("alpha.xy"));
    EXPECT_EQ(document.Modified, 1);

    Click("browseButton");
    EXPECT_EQ(document.Setup.GameName, "alpha");
    EXPECT_EQ(document.Setup.UniverseFile, dir.File("beta.xy"));
}

TEST_F(MainWindowTest, BrowseFindsOnlyTurnFilesThatExistAndKeepsOnesAlreadySet)
{
    TempDir dir;
    dir.Write("war.m1", "1");
    dir.Write("war.m3", "3");
    dir.Write("war.m16", "16");
    Click("playerFilesRadio");
    Type(Row(1), "/old/war.m1");
    Click("emailRadio");
    Type(Row(2), "bob@example.org");

    ui.FileChoices = {dir.File("war.xy")};
    Click("browseButton");
    const auto& players = document.Setup.Players;
    EXPECT_EQ(players[0].PlayerFile, "/old/war.m1");
    EXPECT_EQ(players[2].PlayerFile, dir.File("war.m3"));
    EXPECT_EQ(players[15].PlayerFile, dir.File("war.m16"));
    for (int i : {1, 3, 4, 9, 14})
        EXPECT_EQ(players[i].PlayerFile, "") << "slot " << i + 1;
    // Addresses stay on show; the files appear with the other display.
    EXPECT_EQ(Row(2)->text(), "bob@example.org");
    EXPECT_EQ(Row(3)->text(), "");
    Click("playerFilesRadio");
    EXPECT_EQ(Row(3)->text().toStdString(), dir.File("war.m3"));
    EXPECT_EQ(document.Setup.Players[1].EmailAddress, "bob@example.org");
}

TEST_F(MainWindowTest, BrowseWithPlayerFilesShownFillsTheRows)
{
    TempDir dir;
    dir.Write("war.m2", "2");
    Click("playerFilesRadio");
    ui.FileChoices = {dir.File("war.xy")};
    Click("browseButton");
    EXPECT_EQ(Row(2)->text().toStdString(), dir.File("war.m2"));
}

TEST_F(MainWindowTest, BrowseCutsTheLastTwoCharactersWhateverTheExtension)
{
    TempDir dir;
    dir.Write("war.xm2", "2");
    dir.Write("war.m2", "not this one");
    ui.FileChoices = {dir.File("war.xyz")};
    Click("browseButton");
    EXPECT_EQ(document.Setup.Players[1].PlayerFile, dir.File("war.xm2"));
    EXPECT_EQ(document.Setup.GameName, "war");
}

TEST_F(MainWindowTest, CancelledBrowseStillGathersTheRowsAndLeavesModified)
{
    Type(Row(4), "dan@example.org");
    Click("playerCheck4");
    document.Setup.Players[3] = PlayerSlot{};
    document.Modified = 0;
    Click("browseButton");
    EXPECT_EQ(document.Setup.Players[3].EmailAddress, "dan@example.org");
    EXPECT_EQ(document.Setup.Players[3].Selected, 1);
    EXPECT_EQ(document.Setup.UniverseFile, "");
    EXPECT_EQ(document.Modified, 0);
}

TEST_F(MainWindowTest, TabVisitsTheTextsThenSendThenTheBoxes)
{
    Activate();
    Edit("gameNameEdit")->setFocus();
    std::vector<QString> expected{"gameNameEdit"};
    for (int n = 1; n <= 16; ++n)
        expected.push_back(QString("rowEdit%1").arg(n));
    expected.push_back("sendButton");
    for (int n = 1; n <= 16; ++n)
        expected.push_back(QString("playerCheck%1").arg(n));
    expected.push_back("universeFileCheck");
    expected.push_back("playerFileCheck");
    expected.push_back("gameNameEdit"); // and round again

    std::vector<QString> visited{QApplication::focusWidget()->objectName()};
    for (std::size_t i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget()->objectName());
    }
    EXPECT_EQ(visited, expected);
}

TEST_F(MainWindowTest, EnterInAnyEditBoxSends)
{
    int expected = 0;
    for (const QString name : {"gameNameEdit", "universeFileEdit", "rowEdit1", "rowEdit16"}) {
        QTest::keyClick(Edit(name), Qt::Key_Return);
        EXPECT_EQ(sends, ++expected) << name.toStdString();
    }
    Click("sendButton");
    EXPECT_EQ(sends, ++expected);
}

TEST_F(MainWindowTest, HelpFromButtonKeyAndMenu)
{
    Activate();
    Click("helpButton");
    QTest::keyClick(&window, Qt::Key_F1);
    Trigger("helpAction");
    EXPECT_EQ(ui.HelpShown, 3);
}

TEST_F(MainWindowTest, EscapeAndTheCloseBoxEndWithoutAPrompt)
{
    Type(Edit("gameNameEdit"), "unsaved");
    QTest::keyClick(Edit("gameNameEdit"), Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Rejected);

    window.show();
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(ui.Messages.empty());
}

TEST_F(MainWindowTest, BusyWindowTakesNoInputUntilTheRunEnds)
{
    window.UserInterface().SetBusy(true);
    QTest::keyClick(Row(1), Qt::Key_Return);
    Click("sendButton");
    QTest::keyClick(&window, Qt::Key_Escape);
    window.close();
    Type(Row(1), "x");
    EXPECT_EQ(sends, 0);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(Row(1)->text(), "");
    EXPECT_FALSE(Child<QAction>("newAction")->isEnabled());
    EXPECT_FALSE(Child<QAction>("exitAction")->isEnabled());

    window.UserInterface().SetBusy(false);
    QTest::keyClick(Row(1), Qt::Key_Return);
    EXPECT_EQ(sends, 1);
    EXPECT_TRUE(Child<QAction>("newAction")->isEnabled());
    EXPECT_FALSE(Child<QCheckBox>("additionalFilesCheck")->isEnabled());
}

TEST_F(MainWindowTest, ViewOperationsShowTheSetupWithoutSettingModified)
{
    IUserInterface& view = window.UserInterface();
    document.Setup.GameName = "Loaded";
    document.Setup.Players[4] = {1, "eve@example.org", "/g/war.m5"};
    document.Setup.SendUniverseFile = 1;
    view.FillRows();
    view.ShowState();
    view.SetCaption("Turnpost - /g/war.tpf");
    EXPECT_EQ(Edit("gameNameEdit")->text(), "Loaded");
    EXPECT_EQ(Row(5)->text(), "eve@example.org");
    EXPECT_TRUE(Child<QCheckBox>("playerCheck5")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>("universeFileCheck")->isChecked());
    EXPECT_EQ(Caption(), "Turnpost - /g/war.tpf");
    EXPECT_EQ(document.Modified, 0);

    Type(Row(5), "x");
    Click("playerCheck5");
    view.GatherRows();
    EXPECT_EQ(document.Setup.Players[4].EmailAddress, "eve@example.orgx");
    EXPECT_EQ(document.Setup.Players[4].Selected, 0);
    EXPECT_EQ(document.Setup.Players[4].PlayerFile, "/g/war.m5");
}

TEST_F(MainWindowTest, AcceptedSettingsDialogsMarkTheSetupChanged)
{
    for (const char* action : {"mailSettingsAction", "advancedSettingsAction", "preferencesAction"}) {
        for (const bool accept : {false, true}) {
            document.Modified = 0;
            OnNextModal<QDialog>([accept](QDialog* dialog) { accept ? dialog->accept() : dialog->reject(); });
            Trigger(action);
            EXPECT_EQ(document.Modified, accept ? 1 : 0) << action;
        }
    }
    // What the dialog wrote back is in the setup; the window's controls are not touched.
    document.Setup.UseDefaultMessage = 1;
    OnNextModal<QDialog>([](QDialog* dialog) {
        dialog->findChild<QLineEdit*>("smtpServerEdit")->setText("mail.example.org");
        dialog->accept();
    });
    Trigger("mailSettingsAction");
    EXPECT_EQ(document.Setup.SmtpServer, "mail.example.org");
    EXPECT_EQ(document.Setup.UseDefaultMessage, 1);

    document.Modified = 0;
    OnNextModal<QDialog>([](QDialog* dialog) { dialog->accept(); });
    Trigger("aboutAction");
    EXPECT_EQ(document.Modified, 0);
}

TEST(MainWindowRunTest, ExitEndsTheApplicationLoop)
{
    GameDocument document;
    RecordingUserInterface ui;
    CMainWindow window(document, &ui);
    window.show();
    QTimer::singleShot(0, &window, [&] { window.findChild<QAction*>("exitAction")->trigger(); });
    // Only a guard against hanging the suite: the window ends the loop at once.
    QTimer::singleShot(10000, &window, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(window.isVisible());
}

TEST(MainWindowFileTest, SaveChangesPromptBeforeNewOpenAndExit)
{
    TempDir dir;
    GameSetup stored;
    stored.GameName = "Opened";
    stored.Players[0].EmailAddress = "ann@example.org";
    const std::string opened = dir.Write("opened.tpf", SerializeSetup(stored));

    enum Outcome
    {
        Unchanged,
        Fresh,
        Loaded,
        Ended
    };
    const struct
    {
        const char* action;
        MessageAnswer answer;
        Outcome outcome;
    } cases[] = {
        // Yes runs Save As for an untitled setup; cancelling it does not stop the command.
        {"newAction", MessageAnswer::Yes, Fresh},         {"newAction", MessageAnswer::No, Fresh},
        {"newAction", MessageAnswer::Cancel, Unchanged},  {"openAction", MessageAnswer::Yes, Loaded},
        {"openAction", MessageAnswer::No, Loaded},        {"openAction", MessageAnswer::Cancel, Unchanged},
        {"exitAction", MessageAnswer::Yes, Ended},        {"exitAction", MessageAnswer::No, Ended},
        {"exitAction", MessageAnswer::Cancel, Unchanged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.action) + " answered " + std::to_string(int(c.answer)));
        Harness h;
        h.Type(h.Edit("gameNameEdit"), "Typed");
        h.Type(h.Row(1), "typed@example.org");
        h.ui.Answers = {c.answer};
        if (c.answer == MessageAnswer::Yes)
            h.ui.FileChoices.push_back(std::nullopt);
        h.ui.FileChoices.push_back(opened);
        h.Trigger(c.action);

        ASSERT_EQ(h.ui.Messages.size(), 1u);
        EXPECT_EQ(h.ui.Messages[0].Text, "Save changes?");
        EXPECT_EQ(h.ui.Messages[0].Caption, "Alert!");
        EXPECT_EQ(h.ui.FileDialogs.size(),
                  std::size_t(c.answer == MessageAnswer::Yes) + std::size_t(c.outcome == Loaded));
        EXPECT_EQ(h.window.isVisible(), c.outcome != Ended);
        const std::string caption = c.outcome == Loaded ? "Turnpost - " + opened : "Turnpost - Untitled";
        EXPECT_EQ(h.Caption(), caption);
        switch (c.outcome) {
        case Unchanged:
            EXPECT_EQ(h.Edit("gameNameEdit")->text(), "Typed");
            EXPECT_EQ(h.document.Modified, 1);
            break;
        case Fresh:
            EXPECT_EQ(h.Edit("gameNameEdit")->text(), "");
            EXPECT_EQ(h.Row(1)->text(), "");
            EXPECT_EQ(h.document.Modified, 0);
            break;
        case Loaded:
            EXPECT_EQ(h.Edit("gameNameEdit")->text(), "Opened");
            EXPECT_EQ(h.Row(1)->text(), "ann@example.org");
            EXPECT_EQ(h.document.Modified, 0);
            break;
        case Ended:
            EXPECT_EQ(h.window.result(), QDialog::Accepted);
            EXPECT_EQ(h.document.Setup.Players[0].EmailAddress, "typed@example.org");
            break;
        }
    }
}

TEST(MainWindowFileTest, SaveOfAnUntitledSetupAsksForANameAndWritesTheTypedRows)
{
    TempDir dir;
    Harness h;
    h.Type(h.Edit("gameNameEdit"), "Alpha");
    h.Type(h.Row(2), "bob@example.org");

    h.Trigger("saveAction"); // the dialog cancelled: nothing changes
    EXPECT_EQ(h.Caption(), "Turnpost - Untitled");
    EXPECT_EQ(h.document.Modified, 1);

    h.ui.FileChoices = {dir.File("alpha.tpf")};
    h.Trigger("saveAction");
    EXPECT_EQ(h.ui.FileDialogs, (std::vector<std::string>(2, "save Turnpost files (*.tpf)|*.tpf|| tpf")));
    EXPECT_EQ(h.Caption(), "Turnpost - " + dir.File("alpha.tpf"));
    EXPECT_EQ(h.document.Modified, 0);

    GameDocument reread;
    ASSERT_TRUE(ReadSetupFile(dir.File("alpha.tpf"), reread, h.ui));
    EXPECT_EQ(reread.Setup.GameName, "Alpha");
    EXPECT_EQ(reread.Setup.Players[1].EmailAddress, "bob@example.org");

    // Now titled, Save writes without asking and keeps the caption.
    h.Type(h.Row(3), "cy@example.org");
    h.Trigger("saveAction");
    EXPECT_EQ(h.ui.FileDialogs.size(), 2u);
    EXPECT_EQ(h.Caption(), "Turnpost - " + dir.File("alpha.tpf"));
    ASSERT_TRUE(ReadSetupFile(dir.File("alpha.tpf"), reread, h.ui));
    EXPECT_EQ(reread.Setup.Players[2].EmailAddress, "cy@example.org");
}

TEST(MainWindowFileTest, SaveAsReplacesAnExistingFileWithoutAsking)
{
    TempDir dir;
    const std::string existing = dir.Write("old.tpf", "not a setup at all");
    Harness h;
    h.Type(h.Edit("gameNameEdit"), "Beta");
    h.ui.FileChoices = {existing};
    h.Trigger("saveAsAction");
    EXPECT_TRUE(h.ui.Messages.empty());
    EXPECT_EQ(h.Caption(), "Turnpost - " + existing);
    GameDocument reread;
    ASSERT_TRUE(ReadSetupFile(existing, reread, h.ui));
    EXPECT_EQ(reread.Setup.GameName, "Beta");
}

TEST_F(MainWindowTest, TurnMenuChecksAndShowsTheStatusInTheSummary)
{
    // The rows typed so far are what the check looks at.
    Click("playerCheck1");
    Type(Row(1), "one@example.org");
    Child<QAction>("checkAction")->trigger();
    ASSERT_EQ(ui.Summaries.size(), 1u);
    EXPECT_EQ(ui.Summaries[0], "[Player 1] OK: one@example.org, \"\", no files\n"
                               "[Server] ** ERROR: No SMTP server specified: check your mail settings!\n"
                               "\n"
                               "Send would not mail every selected player; nothing was mailed now.\n");

    Child<QAction>("deliveryStatusAction")->trigger();
    ASSERT_EQ(ui.Summaries.size(), 2u);
    EXPECT_EQ(ui.Summaries[1], ", year 0 (an untitled setup keeps no ledger)\n[Player 1] not mailed for 0\n");
}

} // namespace
} // namespace turnpost
