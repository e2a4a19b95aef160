#include "ui/MainWindow.h"
#include "setup/SetupFile.h"
#include "support/GameFiles.h"
#include "support/RecordingUserInterface.h"
#include "support/TempDir.h"
#include "ui/AdvancedSettingsDialog.h"
#include "ui/CollectSettingsDialog.h"
#include "ui/MailSettingsDialog.h"
#include "ui/NextModal.h"
#include "ui/PreferencesDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
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
    /// The title as the desktop shows it, with the unsaved-changes mark resolved.
    std::string Caption() const { return window.windowHandle()->title().toStdString(); }

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
    EXPECT_TRUE(Child<QCheckBox>("additionalFilesCheck")->isEnabled());
    EXPECT_FALSE(Child<QCheckBox>("additionalFilesCheck")->isChecked());
    EXPECT_TRUE(Child<QPushButton>("listButton")->isEnabled());
    EXPECT_EQ(window.focusWidget(), Edit("gameNameEdit"));
}

// The setup has no length limit of its own; a box must not cut a long text, or the next save writes the
// cut text without a word.
TEST_F(MainWindowTest, LongTextsAreShownAndEditedWhole)
{
    const std::string longText(40000, 'g');
    document.Setup.GameName = longText;
    document.Setup.UniverseFile = longText;
    document.Setup.Players[0].EmailAddress = longText;
    window.FillRows();
    window.ShowState();
    for (const char* name : {"gameNameEdit", "universeFileEdit", "rowEdit1"}) {
        QLineEdit* edit = Edit(name);
        EXPECT_EQ(edit->text().size(), 40000) << name;
        edit->end(false);
        QTest::keyClick(edit, Qt::Key_X);
    }
    EXPECT_EQ(document.Setup.GameName, longText + "x");
    EXPECT_EQ(document.Setup.UniverseFile, longText + "x");
    window.GatherRows();
    EXPECT_EQ(document.Setup.Players[0].EmailAddress, longText + "x");
}

// The window widens once for a setup with long paths, and keeps the width the host gives it afterwards.
TEST_F(MainWindowTest, KeepsTheWidthTheHostGivesIt)
{
    document.Setup.UniverseFile = "/games/" + std::string(300, 'u') + "/war.xy";
    document.DisplayMode = 1;
    document.Setup.Players[0].PlayerFile = "/games/" + std::string(300, 'p') + "/war.m1";
    const int before = window.width();
    window.ShowFilePath("war.tpf");
    window.FillRows();
    window.ShowState();
    EXPECT_GT(window.width(), before);

    window.resize(before, window.height());
    QApplication::processEvents();
    const int chosen = window.width();
    Click("playerCheck2");
    Click("selectAllButton");
    Click("emailRadio");
    Click("playerFilesRadio");
    QApplication::processEvents();
    EXPECT_EQ(window.width(), chosen);
}

// What a screen reader says of the rows, and the window's boxes in its caption bar.
TEST_F(MainWindowTest, RowsAreNamedForScreenReadersAndTheWindowCanBeMinimised)
{
    EXPECT_EQ(Row(3)->accessibleName(), "Player 3 e-mail address");
    Click("playerFilesRadio");
    EXPECT_EQ(Row(3)->accessibleName(), "Player 3 turn file");
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
}

// Alt and a player's digit go to his box; only Space then changes his tick.
TEST_F(MainWindowTest, AltAndADigitReachAPlayerWithoutTogglingHim)
{
    Activate();
    Click("selectAllButton");
    QTest::keyClick(&window, Qt::Key_3, Qt::AltModifier);
    QCheckBox* three = Child<QCheckBox>("playerCheck3");
    EXPECT_EQ(QApplication::focusWidget(), three);
    EXPECT_TRUE(three->isChecked());
    EXPECT_EQ(document.Setup.Players[2].Selected, 1);
    QTest::keyClick(three, Qt::Key_Space);
    EXPECT_FALSE(three->isChecked());
}

// A fresh window says the mail settings come first, and stops saying it once they are set or dismissed.
TEST_F(MainWindowTest, FirstRunHintLeadsToMailSettingsUntilTheyAreSet)
{
    QWidget* hint = Child<QWidget>("firstRunHint");
    EXPECT_TRUE(hint->isVisible());
    OnNextModal<CMailSettingsDialog>([](CMailSettingsDialog* dialog) {
        dialog->findChild<QLineEdit*>("smtpServerEdit")->setText("mail.example.org");
        dialog->findChild<QLineEdit*>("returnAddressEdit")->setText("host@example.org");
        dialog->accept();
    });
    Click("hintMailSettingsButton");
    EXPECT_EQ(document.Setup.SmtpServer, "mail.example.org");
    EXPECT_FALSE(hint->isVisible());

    document.Modified = 0;
    Trigger("newAction");
    EXPECT_TRUE(hint->isVisible());
    Click("dismissHintButton");
    EXPECT_FALSE(hint->isVisible());
}

// Before Send, each ticked row says whom Send would mail and why not, as Check Before Sending would.
TEST_F(MainWindowTest, RowsPreviewWhatEachPlayerGetsAndWhetherHeWouldBeMailed)
{
    TempDir dir;
    document.Setup.UniverseFile = test::WriteConsistentGame(dir, "war", 3);
    document.Setup.Players[0] = {1, "ann@example.org", dir.File("war.m1")};
    document.Setup.Players[1] = {1, "bob@example.org", dir.File("war.m3")}; // another player's turn
    document.Setup.Players[2] = {1, "", dir.File("war.m3")};                // no address
    document.Setup.Players[3] = {0, "dan@example.org", ""};
    window.FillRows();
    window.ShowState();
    const auto mark = [&](int n) { return Child<QAction>(QString("rowMark%1").arg(n)); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return mark(1)->isVisible(); }));

    EXPECT_NE(Row(1)->toolTip().indexOf("Turn file: " + QString::fromStdString(dir.File("war.m1"))), -1);
    EXPECT_FALSE(mark(1)->property("refused").toBool()) << mark(1)->toolTip().toStdString();
    EXPECT_TRUE(mark(2)->property("refused").toBool());
    EXPECT_TRUE(mark(3)->property("refused").toBool());
    EXPECT_NE(mark(3)->toolTip().indexOf("address"), -1) << mark(3)->toolTip().toStdString();
    EXPECT_FALSE(mark(4)->isVisible()) << "only ticked players are judged";

    // Typing is seen shortly after, without taking the rows into the setup.
    Type(Row(3), "cy@example.org");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !mark(3)->property("refused").toBool(); }))
        << mark(3)->toolTip().toStdString();
    EXPECT_EQ(document.Setup.Players[2].EmailAddress, "");
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

TEST_F(MainWindowTest, TabVisitsEveryControlTextsFirst)
{
    Activate();
    Edit("gameNameEdit")->setFocus();
    std::vector<QString> expected{"gameNameEdit", "universeFileEdit", "browseButton"};
    for (int n = 1; n <= 16; ++n)
        expected.push_back(QString("rowEdit%1").arg(n));
    expected.push_back("sendButton");
    for (int n = 1; n <= 16; ++n)
        expected.push_back(QString("playerCheck%1").arg(n));
    // The display choice is one stop: the radio button that is on.
    for (const char* name : {"emailRadio", "selectAllButton", "selectNoneButton", "universeFileCheck",
                             "playerFileCheck", "additionalFilesCheck", "listButton", "helpButton",
                             "hintMailSettingsButton", "dismissHintButton", "gameNameEdit"})
        expected.push_back(name);

    std::vector<QString> visited{QApplication::focusWidget()->objectName()};
    for (std::size_t i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget()->objectName());
    }
    EXPECT_EQ(visited, expected);
}

/// The letter after the single "&" of a label, lower case; 0 when it has none.
QChar Mnemonic(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&')
            continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return text[i + 1].toLower();
    }
    return QChar();
}

/// Every labelled control of the window and its menu bar: name and mnemonic.
std::vector<std::pair<QString, QChar>> Mnemonics(QWidget& window)
{
    std::vector<std::pair<QString, QChar>> found;
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>())
        if (!button->text().isEmpty() && !button->isHidden())
            found.emplace_back(button->objectName() + " " + button->text(), Mnemonic(button->text()));
    for (QLabel* label : window.findChildren<QLabel*>())
        if (label->buddy())
            found.emplace_back("label " + label->text(), Mnemonic(label->text()));
    for (QMenuBar* bar : window.findChildren<QMenuBar*>())
        for (QAction* menu : bar->actions())
            found.emplace_back("menu " + menu->text(), Mnemonic(menu->text()));
    return found;
}

TEST(KeyboardTest, EveryLabelledControlHasItsOwnAltLetter)
{
    GameDocument document;
    RecordingUserInterface ui;
    CMainWindow main(document, &ui);
    GameSetup setup;
    CMailSettingsDialog mail(setup, ui);
    CPreferencesDialog preferences(setup, ui);
    CAdvancedSettingsDialog advanced(setup, ui);
    CCollectSettingsDialog collect(setup, ui);
    for (QWidget* window : std::initializer_list<QWidget*>{&main, &mail, &preferences, &advanced, &collect}) {
        SCOPED_TRACE(window->windowTitle().toStdString());
        std::map<QChar, QString> taken;
        for (const auto& [control, letter] : Mnemonics(*window)) {
            // OK and Cancel answer Enter and Escape; players 11 to 16 are reached with Tab.
            if (control.startsWith("okButton") || control.startsWith("cancelButton") ||
                QRegularExpression("^playerCheck1[1-6] ").match(control).hasMatch())
                continue;
            EXPECT_FALSE(letter.isNull()) << control.toStdString() << " has no Alt-letter";
            if (letter.isNull())
                continue;
            const auto [where, fresh] = taken.emplace(letter, control);
            EXPECT_TRUE(fresh) << control.toStdString() << " shares Alt+" << QString(letter).toStdString()
                               << " with " << where->second.toStdString();
        }
    }
}

TEST_F(MainWindowTest, AltLettersReachTheirControls)
{
    Activate();
    const struct
    {
        Qt::Key key;
        const char* focused;
    } cases[] = {{Qt::Key_U, "universeFileEdit"},
                 {Qt::Key_G, "gameNameEdit"},
                 {Qt::Key_3, "playerCheck3"},
                 {Qt::Key_Y, "playerFilesRadio"},
                 {Qt::Key_V, "universeFileCheck"}};
    for (const auto& c : cases) {
        QTest::keyClick(&window, c.key, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), c.focused);
    }
    // A button's letter presses it, after the short animation of the press; a player's only reaches him.
    EXPECT_TRUE(QTest::qWaitFor([&] { return document.DisplayMode == 1; }));
}

TEST_F(MainWindowTest, MenuClosedWithEscapeGivesTheFocusBack)
{
    Activate();
    Row(5)->setFocus();
    QTest::keyClick(&window, Qt::Key_F, Qt::AltModifier);
    QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QTest::keyClick(menu, Qt::Key_Escape);
    if (QApplication::focusWidget() != Row(5))
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(QApplication::focusWidget(), Row(5));
    EXPECT_TRUE(window.isVisible());
}

TEST_F(MainWindowTest, GrowsToShowLongPathsWholeAndGivesTheRoomToTheBoxes)
{
    const QSize before = window.size();
    const int rowWidth = Row(1)->width();
    window.resize(before.width() + 100, before.height() + 100);
    QApplication::processEvents();
    EXPECT_GT(Row(1)->width(), rowWidth + 40) << "the boxes take the room";
    window.resize(before);
    QApplication::processEvents();

    // A path somewhat wider than the box, as long as the screen leaves room for.
    std::string path = "/home/host/games/andromeda/";
    while (Row(1)->fontMetrics().horizontalAdvance(QString::fromStdString(path)) < Row(1)->width() + 60)
        path += "x";
    path += ".m1";
    document.Setup.Players[0].PlayerFile = path;
    Click("playerFilesRadio");
    QApplication::processEvents();
    EXPECT_GT(window.width(), before.width());
    const int needed = Row(1)->fontMetrics().horizontalAdvance(QString::fromStdString(path));
    EXPECT_GT(Row(1)->width(), needed);
    EXPECT_NE(Row(1)->toolTip().toStdString().find(path), std::string::npos);
}

TEST_F(MainWindowTest, QuestionsGoToTheServicesGiven)
{
    // Each one the window left to the interface's default would be answered "no" without asking.
    ui.CommandApprovals = {true};
    EXPECT_TRUE(window.UserInterface().ApprovePasswordCommand("pass show smtp", "/g/war.tpf",
                                                              {"smtp.example.org", "STARTTLS", "host"}));
    EXPECT_EQ(ui.CommandQuestions, std::vector<std::string>{"pass show smtp|/g/war.tpf"});
    window.UserInterface().ForgetPassword("host@mail");
    EXPECT_EQ(ui.ForgottenPasswords, std::vector<std::string>{"host@mail"});
}

TEST(MainWindowFolderTest, FileDialogsOpenInTheGameFolder)
{
    TempDir dir;
    GameDocument document;
    CMainWindow window(document);
    EXPECT_EQ(window.GameFolder(), "");
    document.Setup.UniverseFile = dir.File("war.xy");
    EXPECT_EQ(window.GameFolder().toStdString(), dir.Path());
    document.FilePath = "/nonexistent/folder/war.tpf"; // a folder that is gone is no help
    EXPECT_EQ(window.GameFolder().toStdString(), dir.Path());

    OnNextModal<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->directory().absolutePath().toStdString(), dir.Path());
        dialog->reject();
    });
    window.UserInterface().SaveFileDialog("Turnpost files (*.tpf)|*.tpf||", "tpf");
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

TEST_F(MainWindowTest, EscapeNeverEndsTheProgram)
{
    for (const bool edited : {false, true}) {
        if (edited)
            Type(Edit("gameNameEdit"), "unsaved");
        QTest::keyClick(Edit("gameNameEdit"), Qt::Key_Escape);
        QTest::keyClick(&window, Qt::Key_Escape);
        EXPECT_TRUE(window.isVisible()) << edited;
    }
    EXPECT_TRUE(ui.Messages.empty());
}

TEST(MainWindowCloseTest, CloseBoxAsksFirstWhenThereAreUnsavedEdits)
{
    TempDir dir;
    const struct
    {
        bool edited;
        std::vector<MessageAnswer> answers;
        std::vector<std::optional<std::string>> files;
        bool closes;
        bool saved;
    } cases[] = {
        {false, {}, {}, true, false},
        {true, {MessageAnswer::Cancel}, {}, false, false},
        {true, {MessageAnswer::No}, {}, true, false},
        // Yes with the Save As dialog cancelled: the host backed out, so the window stays.
        {true, {MessageAnswer::Yes}, {std::nullopt}, false, false},
        {true, {MessageAnswer::Yes}, {dir.File("kept.tpf")}, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "edited " << c.edited << " answers " << c.answers.size()
                                        << " files " << c.files.size());
        Harness h;
        if (c.edited)
            h.Type(h.Edit("gameNameEdit"), "Kept");
        h.ui.Answers.assign(c.answers.begin(), c.answers.end());
        h.ui.FileChoices.assign(c.files.begin(), c.files.end());
        h.window.close();
        EXPECT_EQ(h.window.isVisible(), !c.closes);
        EXPECT_EQ(h.ui.Messages.size(), c.edited ? 1u : 0u);
        if (c.edited) {
            EXPECT_EQ(h.ui.Messages[0].Text, "Save changes?");
        }
        GameDocument reread;
        EXPECT_EQ(ReadSetupFile(dir.File("kept.tpf"), reread, h.ui), c.saved);
        EXPECT_EQ(h.document.Modified, c.edited && !c.saved ? 1 : 0);
        std::remove(dir.File("kept.tpf").c_str());
    }
}

TEST_F(MainWindowTest, TitleMarksUnsavedEdits)
{
    TempDir dir;
    EXPECT_EQ(Caption(), "Turnpost - Untitled");
    Type(Edit("gameNameEdit"), "x");
    EXPECT_EQ(Caption(), "Turnpost - Untitled*");
    ui.FileChoices = {dir.File("marked.tpf")};
    Trigger("saveAction");
    EXPECT_EQ(Caption(), "Turnpost - " + dir.File("marked.tpf"));
    Click("playerCheck2");
    EXPECT_EQ(Caption(), "Turnpost - " + dir.File("marked.tpf") + "*");
    OnNextModal<QDialog>([](QDialog* dialog) { dialog->reject(); });
    Trigger("advancedSettingsAction");
    EXPECT_EQ(Caption(), "Turnpost - " + dir.File("marked.tpf") + "*");
    ui.Answers = {MessageAnswer::No};
    Trigger("newAction");
    EXPECT_EQ(Caption(), "Turnpost - Untitled");
    OnNextModal<QDialog>([](QDialog* dialog) { dialog->accept(); });
    Trigger("preferencesAction");
    EXPECT_EQ(Caption(), "Turnpost - Untitled*");
    // A path holding the mark's own characters is shown as written.
    window.ShowFilePath("/g/[*]war.tpf");
    EXPECT_EQ(Caption(), "Turnpost - /g/[*]war.tpf*");
}

TEST_F(MainWindowTest, BusyWindowTakesNoInputUntilTheRunEnds)
{
    window.SetBusy(true);
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

    window.SetBusy(false);
    QTest::keyClick(Row(1), Qt::Key_Return);
    EXPECT_EQ(sends, 1);
    EXPECT_TRUE(Child<QAction>("newAction")->isEnabled());
    EXPECT_TRUE(Child<QCheckBox>("additionalFilesCheck")->isEnabled());
}

TEST_F(MainWindowTest, ViewOperationsShowTheSetupWithoutSettingModified)
{
    IDocumentView& view = window.UserInterface().View();
    document.Setup.GameName = "Loaded";
    document.Setup.Players[4] = {1, "eve@example.org", "/g/war.m5"};
    document.Setup.SendUniverseFile = 1;
    view.FillRows();
    view.ShowState();
    view.ShowFilePath("/g/war.tpf");
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
        // Yes runs Save As for an untitled setup; cancelling it stops the command, edits kept.
        {"newAction", MessageAnswer::Yes, Unchanged},     {"newAction", MessageAnswer::No, Fresh},
        {"newAction", MessageAnswer::Cancel, Unchanged},  {"openAction", MessageAnswer::Yes, Unchanged},
        {"openAction", MessageAnswer::No, Loaded},        {"openAction", MessageAnswer::Cancel, Unchanged},
        {"exitAction", MessageAnswer::Yes, Unchanged},    {"exitAction", MessageAnswer::No, Ended},
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
        std::string caption = c.outcome == Loaded ? "Turnpost - " + opened : "Turnpost - Untitled";
        if (h.document.Modified)
            caption += "*";
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
    EXPECT_EQ(h.Caption(), "Turnpost - Untitled*");
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
