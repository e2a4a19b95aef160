#include "platform/Version.h"
#include "setup/GameSetup.h"
#include "support/RecordingUserInterface.h"
#include "support/SmtpSink.h"
#include "ui/AboutDialog.h"
#include "ui/AdditionalFilesDialog.h"
#include "ui/AdvancedSettingsDialog.h"
#include "ui/MailSettingsDialog.h"
#include "ui/PasswordDialog.h"
#include "ui/PreferencesDialog.h"
#include "ui/SummaryDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::RecordingUserInterface;

template <typename T> T* Child(QWidget& parent, const char* name)
{
    T* child = parent.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

void ClickOk(QDialog& dialog)
{
    Child<QPushButton>(dialog, "okButton")->click();
}

void Type(QWidget* widget, const QString& keys)
{
    for (QChar c : keys) {
        const int key = c == QChar('\n') ? int(Qt::Key_Return) : int(c.toUpper().unicode());
        const QString text = c == '\n' ? QStringLiteral("\r") : QString(c);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QApplication::sendEvent(widget, &release);
    }
}

TEST(IntegerFieldTest, AcceptsSignedDecimalsWithBlanksAndClamps)
{
    const struct
    {
        std::string Text;
        std::int32_t Value;
    } cases[] = {
        {" 20000 ", 20000},
        {"\t-5\t", -5},
        {"+7", 7},
        {"0", 0},
        {"007", 7},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"99999999999999999999999", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"-2147483649", -2147483647 - 1},
        // Only the first 31 characters count: what follows them is never seen.
        {"12" + std::string(29, ' ') + "junk", 12},
    };
    for (const auto& c : cases) {
        const auto value = ParseIntegerField(c.Text);
        ASSERT_TRUE(value.has_value()) << '"' << c.Text << '"';
        EXPECT_EQ(*value, c.Value) << '"' << c.Text << '"';
    }
}

TEST(IntegerFieldTest, RejectsEmptyLettersJunkAndAZeroNotWrittenAsZero)
{
    for (const char* text : {"", "   ", "abc", "12ms", "0x10", "-0", "+0", "-", "1 2", "1.5"})
        EXPECT_FALSE(ParseIntegerField(text).has_value()) << '"' << text << '"';
}

TEST(AdvancedSettingsDialogTest, OkStoresBothParsedFields)
{
    GameSetup setup;
    RecordingUserInterface ui;
    CAdvancedSettingsDialog dialog(setup, ui);
    EXPECT_EQ(Child<QLineEdit>(dialog, "smtpTimeoutEdit")->text(), "15000");
    Child<QLineEdit>(dialog, "smtpTimeoutEdit")->setText(" 20000 ");
    Child<QLineEdit>(dialog, "pauseEdit")->setText("-5");
    ASSERT_TRUE(Child<QCheckBox>(dialog, "checkTurnFilesCheck")->isChecked());
    Child<QCheckBox>(dialog, "checkTurnFilesCheck")->setChecked(false);
    Child<QLineEdit>(dialog, "generateCommandEdit")->setText("./generate.sh 'my game'");
    ClickOk(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(setup.SmtpTimeout, 20000);
    EXPECT_EQ(setup.PauseAfterConnection, -5);
    EXPECT_EQ(setup.CheckTurnFiles, 0);
    EXPECT_EQ(setup.GenerateCommand, "./generate.sh 'my game'");
    EXPECT_TRUE(ui.Messages.empty());
}

TEST(AdvancedSettingsDialogTest, RejectedFieldIsReportedFocusedAndNothingIsCopied)
{
    // Each field in turn holds junk; the first is checked before the second is looked at.
    const struct
    {
        const char* Timeout;
        const char* Pause;
        const char* Rejected;
    } cases[] = {
        {"12ms", "also bad", "smtpTimeoutEdit"},
        {"300", "-0", "pauseEdit"},
    };
    for (const auto& c : cases) {
        GameSetup setup;
        setup.PauseAfterConnection = 42;
        RecordingUserInterface ui;
        CAdvancedSettingsDialog dialog(setup, ui);
        dialog.show();
        Child<QLineEdit>(dialog, "smtpTimeoutEdit")->setText(c.Timeout);
        Child<QLineEdit>(dialog, "pauseEdit")->setText(c.Pause);
        ClickOk(dialog);

        ASSERT_EQ(ui.Messages.size(), 1u) << c.Rejected;
        EXPECT_EQ(ui.Messages[0].Text, "Please enter an integer.");
        EXPECT_EQ(ui.Messages[0].Caption, "");
        EXPECT_EQ(ui.Messages[0].Buttons, MessageButtons::Ok);
        EXPECT_EQ(ui.Messages[0].Icon, MessageIcon::Exclamation);
        auto* rejected = Child<QLineEdit>(dialog, c.Rejected);
        EXPECT_EQ(dialog.focusWidget(), rejected) << c.Rejected;
        EXPECT_EQ(rejected->selectedText(), rejected->text()) << c.Rejected;
        EXPECT_TRUE(dialog.isVisible()) << c.Rejected;
        EXPECT_EQ(setup.SmtpTimeout, 15000);
        EXPECT_EQ(setup.PauseAfterConnection, 42);
    }
}

TEST(PreferencesDialogTest, RadioPairShowsZeroOrNonZeroAndOkStoresZeroOrOne)
{
    const struct
    {
        std::int32_t Stored;
        bool DetailedShown;
    } cases[] = {{0, false}, {1, true}, {7, true}, {-1, true}};
    for (const auto& c : cases) {
        GameSetup setup;
        setup.DetailedReport = c.Stored;
        RecordingUserInterface ui;
        CPreferencesDialog dialog(setup, ui);
        EXPECT_EQ(Child<QRadioButton>(dialog, "detailedRadio")->isChecked(), c.DetailedShown) << c.Stored;
        EXPECT_EQ(Child<QRadioButton>(dialog, "summaryRadio")->isChecked(), !c.DetailedShown) << c.Stored;
        ClickOk(dialog);
        EXPECT_EQ(setup.DetailedReport, c.DetailedShown ? 1 : 0) << c.Stored;
    }
}

TEST(PreferencesDialogTest, OkCopiesEveryFieldAsItIs)
{
    GameSetup setup;
    RecordingUserInterface ui;
    CPreferencesDialog dialog(setup, ui);
    Child<QCheckBox>(dialog, "displaySummaryCheck")->click();
    Child<QCheckBox>(dialog, "saveToFileCheck")->click();                       // ticked with an empty path
    Child<QLineEdit>(dialog, "reportAddressEdit")->setText("host@example.com"); // typed while unticked
    Child<QRadioButton>(dialog, "detailedRadio")->click();
    ClickOk(dialog);
    EXPECT_EQ(setup.DisplaySummary, 0);
    EXPECT_EQ(setup.SaveReportToFile, 1);
    EXPECT_EQ(setup.ReportFile, "");
    EXPECT_EQ(setup.EmailReport, 0);
    EXPECT_EQ(setup.ReportAddress, "host@example.com");
    EXPECT_EQ(setup.DetailedReport, 1);
}

TEST(MailSettingsDialogTest, OkWithoutChangeKeepsEveryValue)
{
    GameSetup setup;
    setup.SmtpServer = "mail.example.com:587";
    setup.ReturnAddress = "host@example.com";
    setup.MessageSubject = "%G turn %Y";
    setup.MessageText = "Hello\r\nplayer %P\nbare LF kept";
    setup.UseDefaultMessage = 1;
    setup.SmtpSecurity = 1;
    setup.SmtpUser = "host";
    setup.SmtpLoginMethod = 1;
    setup.SmtpPasswordCommand = "pass show mail";
    setup.ReportFile = "caf\xe9";                // not UTF-8, and not this dialog's field either
    setup.ReturnAddress = "h\xf6st@example.com"; // bytes of an older code page survive an untouched OK
    const GameSetup before = setup;
    RecordingUserInterface ui;
    CMailSettingsDialog dialog(setup, ui);
    auto* useDefault = Child<QCheckBox>(dialog, "useDefaultCheck");
    EXPECT_TRUE(useDefault->isHidden());
    EXPECT_FALSE(useDefault->isEnabled());
    EXPECT_EQ(Child<QComboBox>(dialog, "securityCombo")->currentText(), "STARTTLS");
    ClickOk(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(setup, before);
}

TEST(MailSettingsDialogTest, OkCopiesEditsAndEnterInTheTextMakesCrLf)
{
    GameSetup setup;
    setup.MessageText = "old";
    RecordingUserInterface ui;
    CMailSettingsDialog dialog(setup, ui);
    dialog.show();
    Child<QLineEdit>(dialog, "smtpServerEdit")->setText("smtp.example.org:465");
    Child<QLineEdit>(dialog, "returnAddressEdit")->setText("me@example.org");
    Child<QLineEdit>(dialog, "messageSubjectEdit")->setText("Turn %Y");
    Child<QComboBox>(dialog, "securityCombo")->setCurrentIndex(2);
    Child<QLineEdit>(dialog, "smtpUserEdit")->setText("me@example.org");
    Child<QComboBox>(dialog, "loginMethodCombo")->setCurrentIndex(1);
    Child<QLineEdit>(dialog, "passwordCommandEdit")->setText("cat ~/.pw");
    auto* text = Child<QPlainTextEdit>(dialog, "messageTextEdit");
    text->clear();
    Type(text, "a\nb");
    EXPECT_TRUE(dialog.isVisible()) << "Enter in the message text must not close the dialog";
    ClickOk(dialog);
    EXPECT_EQ(setup.SmtpServer, "smtp.example.org:465");
    EXPECT_EQ(setup.ReturnAddress, "me@example.org");
    EXPECT_EQ(setup.MessageSubject, "Turn %Y");
    EXPECT_EQ(setup.SmtpSecurity, 2);
    EXPECT_EQ(setup.SmtpUser, "me@example.org");
    EXPECT_EQ(setup.SmtpLoginMethod, 1);
    EXPECT_EQ(setup.SmtpPasswordCommand, "cat ~/.pw");
    EXPECT_EQ(setup.MessageText, "a\r\nb");
}

TEST(MailSettingsDialogTest, StoredLinesShowAsLinesAndUnknownSecurityStays)
{
    GameSetup setup;
    setup.MessageText = "one\r\ntwo";
    setup.SmtpSecurity = 9;
    RecordingUserInterface ui;
    CMailSettingsDialog dialog(setup, ui);
    auto* text = Child<QPlainTextEdit>(dialog, "messageTextEdit");
    EXPECT_EQ(text->toPlainText(), "one\ntwo");
    EXPECT_EQ(text->document()->blockCount(), 2);
    text->appendPlainText("three");
    ClickOk(dialog);
    EXPECT_EQ(setup.MessageText, "one\r\ntwo\r\nthree");
    EXPECT_EQ(setup.SmtpSecurity, 9);
}

TEST(SettingsDialogsTest, CancelAndEscapeChangeNothing)
{
    GameSetup setup;
    setup.SmtpServer = "mail.example.com";
    setup.MessageText = "x";
    const GameSetup before = setup;
    RecordingUserInterface ui;
    for (int viaEscape = 0; viaEscape < 2; ++viaEscape) {
        CMailSettingsDialog mail(setup, ui);
        CAdvancedSettingsDialog advanced(setup, ui);
        CPreferencesDialog preferences(setup, ui);
        Child<QLineEdit>(mail, "smtpServerEdit")->setText("other");
        Child<QPlainTextEdit>(mail, "messageTextEdit")->setPlainText("y");
        Child<QComboBox>(mail, "securityCombo")->setCurrentIndex(2);
        Child<QLineEdit>(advanced, "smtpTimeoutEdit")->setText("1");
        Child<QLineEdit>(preferences, "reportFileEdit")->setText("r.txt");
        Child<QRadioButton>(preferences, "detailedRadio")->click();
        for (QDialog* dialog : std::initializer_list<QDialog*>{&mail, &advanced, &preferences}) {
            dialog->show();
            if (viaEscape) {
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(dialog, &escape);
            } else {
                Child<QPushButton>(*dialog, "cancelButton")->click();
            }
            EXPECT_EQ(dialog->result(), QDialog::Rejected);
            EXPECT_FALSE(dialog->isVisible());
        }
    }
    EXPECT_EQ(setup, before);
    EXPECT_TRUE(ui.Messages.empty());
}

// What a screen reader announces for the boxes that have no label of their own.
TEST(SettingsDialogsTest, UnlabelledBoxesHaveAccessibleNames)
{
    GameSetup setup;
    RecordingUserInterface ui;
    CMailSettingsDialog mail(setup, ui);
    CPreferencesDialog preferences(setup, ui);
    EXPECT_EQ(Child<QComboBox>(mail, "loginMethodCombo")->accessibleName(), "Login method");
    EXPECT_EQ(Child<QLineEdit>(preferences, "reportFileEdit")->accessibleName(), "Report file");
    EXPECT_EQ(Child<QLineEdit>(preferences, "reportAddressEdit")->accessibleName(), "Report e-mail address");
}

TEST(AdditionalFilesDialogTest, AddAppendsRemoveTakesTheSelectionAndOkKeepsTheList)
{
    RecordingUserInterface ui;
    GameSetup setup;
    ui.FileChoices = {"/games/a.xy", std::nullopt, "/games/b.m1", "/games/a.xy"};
    {
        CAdditionalFilesDialog dialog(setup, ui);
        auto* list = Child<QListWidget>(dialog, "fileList");
        auto* add = Child<QPushButton>(dialog, "addButton");
        auto* remove = Child<QPushButton>(dialog, "removeButton");
        for (int i = 0; i < 4; ++i)
            add->click();
        ASSERT_EQ(list->count(), 3);
        EXPECT_EQ(list->item(0)->text(), "/games/a.xy");
        EXPECT_EQ(list->item(1)->text(), "/games/b.m1");
        EXPECT_EQ(list->item(2)->text(), "/games/a.xy");
        EXPECT_EQ(ui.FileDialogs, std::vector<std::string>(4, "open All files (*.*)|*.*|| "));

        list->clearSelection();
        remove->click();
        EXPECT_EQ(list->count(), 3) << "Remove without a selection does nothing";
        list->item(1)->setSelected(true);
        remove->click();
        ASSERT_EQ(list->count(), 2);
        EXPECT_EQ(list->item(1)->text(), "/games/a.xy");
        ClickOk(dialog);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(setup.AdditionalFiles, "/games/a.xy\n/games/a.xy");
    CAdditionalFilesDialog reopened(setup, ui);
    auto* list = Child<QListWidget>(reopened, "fileList");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "/games/a.xy");
}

TEST(AdditionalFilesDialogTest, CancelAndEscapeChangeNothing)
{
    RecordingUserInterface ui;
    GameSetup setup;
    setup.AdditionalFiles = "/games/rules.pdf\n/games/race%P.r1";
    const struct
    {
        const char* name;
        void (*end)(CAdditionalFilesDialog&);
    } cases[] = {
        {"Cancel", [](CAdditionalFilesDialog& d) { Child<QPushButton>(d, "cancelButton")->click(); }},
        {"Escape", [](CAdditionalFilesDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui.FileChoices = {"/games/map.png"};
        CAdditionalFilesDialog dialog(setup, ui);
        dialog.show();
        auto* list = Child<QListWidget>(dialog, "fileList");
        ASSERT_EQ(list->count(), 2);
        Child<QPushButton>(dialog, "addButton")->click();
        list->item(0)->setSelected(true);
        Child<QPushButton>(dialog, "removeButton")->click();
        c.end(dialog);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(setup.AdditionalFiles, "/games/rules.pdf\n/games/race%P.r1");
    }
}

TEST(AuxiliaryDialogsTest, AboutAndSummaryShowTheirTextsAsGiven)
{
    CAboutDialog about;
    EXPECT_EQ(about.windowTitle(), "About Turnpost");
    EXPECT_EQ(Child<QLabel>(about, "versionLabel")->text(), ProgramName);
    EXPECT_FALSE(about.windowFlags() & Qt::WindowCloseButtonHint);

    const std::string text = "[Player 1] Sent OK\n[Player 2] ** ERROR: 550 <a&b@x> refused\n";
    CSummaryDialog summary(text);
    EXPECT_EQ(summary.windowTitle(), "Summary");
    auto* view = Child<QPlainTextEdit>(summary, "summaryText");
    EXPECT_EQ(view->toPlainText().toStdString(), text);
    EXPECT_TRUE(view->isReadOnly());
    EXPECT_GE(view->height(), 16 * view->fontMetrics().lineSpacing());
    // The failed line stands out; the sent one does not.
    const QTextBlock sent = view->document()->firstBlock();
    EXPECT_EQ(QTextCursor(sent).charFormat().fontWeight(), QFont::Normal);
    QTextCursor failed(sent.next());
    failed.movePosition(QTextCursor::NextCharacter);
    EXPECT_EQ(failed.charFormat().fontWeight(), QFont::Bold);
    Child<QPushButton>(summary, "copyButton")->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), text);
    for (QDialog* dialog : std::initializer_list<QDialog*>{&about, &summary}) {
        dialog->show();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(dialog, &enter);
        EXPECT_FALSE(dialog->isVisible());
    }
}

TEST(AuxiliaryDialogsTest, SummaryOfSixteenLongFailuresAtTwiceTheSizeCanBeReadToTheEnd)
{
    const QFont normal = QApplication::font();
    QFont large = normal;
    large.setPointSizeF(normal.pointSizeF() * 2);
    QApplication::setFont(large);
    std::string text;
    for (int n = 1; n <= 16; ++n)
        text += "[Player " + std::to_string(n) +
                "] ** ERROR: Connection error 10060 (timed out) while "
                "waiting for the reply of mail.example.org to RCPT TO:<player" +
                std::to_string(n) + "@example.org>\n";
    {
        CSummaryDialog summary(text);
        summary.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&summary));
        const QRect screen = summary.screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(summary.frameGeometry())) << "fits the screen";

        auto* view = Child<QPlainTextEdit>(summary, "summaryText");
        QScrollBar* bar = view->verticalScrollBar();
        EXPECT_GT(bar->maximum(), 0) << "the text is longer than the view, so it scrolls";
        bar->setValue(bar->maximum());
        QTextCursor last(view->document()->lastBlock().previous());
        last.movePosition(QTextCursor::EndOfBlock);
        const QRect where = view->cursorRect(last);
        EXPECT_TRUE(view->viewport()->rect().contains(where)) << "the last line is in view";
        EXPECT_TRUE(view->document()->lastBlock().previous().text().contains("player16"));
    }
    QApplication::setFont(normal);
}

TEST(MailSettingsDialogTest, TestMessageUsesTheSettingsShownWithoutKeepingThem)
{
    test::SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    GameSetup setup;
    setup.SmtpServer = "old.example.org";
    RecordingUserInterface ui;
    CMailSettingsDialog dialog(setup, ui);
    Child<QLineEdit>(dialog, "smtpServerEdit")->setText(QString::fromStdString(sink.Address()));
    Child<QLineEdit>(dialog, "returnAddressEdit")->setText("host@example.org");
    Child<QPushButton>(dialog, "testMessageButton")->click();
    EXPECT_EQ(Child<QLabel>(dialog, "testResultLabel")->text(), "Test message sent to host@example.org.");
    EXPECT_EQ(sink.WaitForMessages(1).size(), 1u);

    dialog.reject();
    EXPECT_EQ(setup.SmtpServer, "old.example.org");
    EXPECT_EQ(setup.ReturnAddress, "");
}

TEST(PasswordDialogTest, HidesTheTypedPasswordAndOffersTheKeyringOnlyWhenOneAnswers)
{
    CPasswordDialog withKeyring("user@mail.example.com", true);
    auto* edit = Child<QLineEdit>(withKeyring, "passwordEdit");
    EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
    edit->setText("s3cret pass");
    Child<QCheckBox>(withKeyring, "rememberCheck")->setChecked(true);
    EXPECT_EQ(withKeyring.Password(), "s3cret pass");
    EXPECT_TRUE(withKeyring.Remember());

    CPasswordDialog withoutKeyring("user@mail.example.com", false);
    auto* remember = Child<QCheckBox>(withoutKeyring, "rememberCheck");
    EXPECT_FALSE(remember->isEnabled());
    remember->setChecked(true);
    EXPECT_FALSE(withoutKeyring.Remember());
}

TEST(PasswordDialogTest, AskReturnsWhatIsTypedAndNothingOnCancel)
{
    // No keyring in the test's environment: the lookup falls through to the dialog.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("XDG_RUNTIME_DIR");
    for (bool accept : {true, false}) {
        QTimer::singleShot(0, [accept] {
            auto* dialog = qobject_cast<CPasswordDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            Child<QLineEdit>(*dialog, "passwordEdit")->setText("typed");
            Child<QPushButton>(*dialog, accept ? "okButton" : "cancelButton")->click();
        });
        const auto password = CPasswordDialog::Ask("nobody@test.invalid", nullptr);
        EXPECT_EQ(password, accept ? std::optional<std::string>("typed") : std::nullopt);
    }
}

} // namespace
} // namespace turnpost
