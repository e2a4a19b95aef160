// The window's side of collecting orders: its settings dialog, the connection test, the marks that say
// whose orders are in, and the menu command against a real mailbox.
#include "mail/Base64.h"
#include "platform/Files.h"
#include "send/DeliveryLedger.h"
#include "support/Dovecot.h"
#include "support/GameFiles.h"
#include "support/RecordingUserInterface.h"
#include "support/ScopedEnvironment.h"
#include "support/SilentListener.h"
#include "support/TempDir.h"
#include "ui/CollectSettingsDialog.h"
#include "ui/MainWindow.h"
#include "ui/NextModal.h"
#include "ui/ProgressWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace turnpost {
namespace {

using test::Dovecot;
using test::GameFileBytes;
using test::GameFileFacts;
using test::OnNextModal;
using test::RecordingUserInterface;
using test::ScopedEnvironment;
using test::TempDir;

template <typename T> T* Child(QObject& parent, const char* name)
{
    T* child = parent.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

QString Result(QDialog& dialog)
{
    return Child<QLabel>(dialog, "testResultLabel")->text();
}

GameFileFacts Orders(int index)
{
    GameFileFacts facts;
    facts.FileType = 1;
    facts.PlayerIndex = index;
    return facts;
}

/// A setup with every collect field away from its default, some in forms the dialog cannot show as
/// typed: a security it does not know, a flag that is on but not 1, text with bare LF line ends.
GameSetup OddSetup()
{
    GameSetup setup;
    setup.CollectServer = "imap.example.org:1993";
    setup.CollectSecurity = 9;
    setup.CollectUser = "host";
    setup.CollectPasswordCommand = "pass show imap";
    setup.CollectLoginMethod = 1;
    setup.CollectFolder = "Orders";
    setup.ProcessedFolder = "Done/Orders";
    setup.RejectedFolder = "Done/Refused";
    setup.AcknowledgeOrders = 7;
    setup.AcknowledgeSubject = "%G %Y: %R";
    setup.AcknowledgeText = "Dear player %P,\n%R\r\n";
    return setup;
}

TEST(CollectSettingsDialogTest, OkStoresEditsCancelDropsThemAndAnUntouchedOkChangesNothing)
{
    RecordingUserInterface ui;
    GameDocument document;
    CMainWindow window(document, &ui);
    document.Setup = OddSetup();
    const GameSetup odd = document.Setup;
    const auto edit = [](QDialog* dialog) {
        Child<QLineEdit>(*dialog, "collectServerEdit")->setText("mail.example.net");
        Child<QComboBox>(*dialog, "collectSecurityCombo")->setCurrentIndex(1);
        Child<QLineEdit>(*dialog, "collectUserEdit")->setText("gm");
        Child<QComboBox>(*dialog, "collectLoginMethodCombo")->setCurrentIndex(0);
        Child<QLineEdit>(*dialog, "collectPasswordCommandEdit")->setText("cat ~/.imap");
        Child<QLineEdit>(*dialog, "collectFolderEdit")->setText("INBOX/Stars");
        Child<QLineEdit>(*dialog, "processedFolderEdit")->setText("Taken");
        Child<QLineEdit>(*dialog, "rejectedFolderEdit")->setText("Refused");
        Child<QCheckBox>(*dialog, "acknowledgeCheck")->setChecked(false);
        Child<QLineEdit>(*dialog, "acknowledgeSubjectEdit")->setText("Re: %R");
        Child<QPlainTextEdit>(*dialog, "acknowledgeTextEdit")->setPlainText("%R\nThanks");
    };

    struct Case
    {
        const char* Name;
        bool Edit;
        bool Accept;
        bool Modified;
    };
    for (const Case c :
         {Case{"cancel after edits", true, false, false}, Case{"OK untouched", false, true, false},
          Case{"OK after edits", true, true, true}}) {
        SCOPED_TRACE(c.Name);
        document.Setup = odd;
        document.Modified = 0;
        OnNextModal<QDialog>([&](QDialog* dialog) {
            ASSERT_NE(qobject_cast<CCollectSettingsDialog*>(dialog), nullptr);
            if (c.Edit)
                edit(dialog);
            c.Accept ? dialog->accept() : dialog->reject();
        });
        Child<QAction>(window, "collectSettingsAction")->trigger();
        EXPECT_EQ(document.Modified, c.Modified ? 1 : 0);
        if (!c.Modified) {
            EXPECT_EQ(document.Setup, odd);
            continue;
        }
        const GameSetup& setup = document.Setup;
        EXPECT_EQ(setup.CollectServer, "mail.example.net");
        EXPECT_EQ(setup.CollectSecurity, 1);
        EXPECT_EQ(setup.CollectUser, "gm");
        EXPECT_EQ(setup.CollectLoginMethod, 0);
        EXPECT_EQ(setup.CollectPasswordCommand, "cat ~/.imap");
        EXPECT_EQ(setup.CollectFolder, "INBOX/Stars");
        EXPECT_EQ(setup.ProcessedFolder, "Taken");
        EXPECT_EQ(setup.RejectedFolder, "Refused");
        EXPECT_EQ(setup.AcknowledgeOrders, 0);
        EXPECT_EQ(setup.AcknowledgeSubject, "Re: %R");
        EXPECT_EQ(setup.AcknowledgeText, "%R\r\nThanks");
        EXPECT_EQ(setup.SmtpServer, odd.SmtpServer) << "the mail settings are not this dialog's";
    }
}

class CollectDovecotTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!Dovecot::Shared().IsRunning())
            GTEST_SKIP() << Dovecot::Shared().Error();
        m_User = Dovecot::Shared().NewUser();
    }

    std::string Address() const { return "127.0.0.1:" + std::to_string(Dovecot::Shared().ImplicitTlsPort()); }

    /// The dialog on a fresh setup, showing this test's mailbox.
    void ShowMailbox(QDialog& dialog, const std::string& server) const
    {
        Child<QLineEdit>(dialog, "collectServerEdit")->setText(QString::fromStdString(server));
        Child<QComboBox>(dialog, "collectSecurityCombo")->setCurrentIndex(2);
        Child<QLineEdit>(dialog, "collectUserEdit")->setText(QString::fromStdString(m_User));
    }

    std::string m_User;
    ScopedEnvironment m_TrustTestAuthority{"SSL_CERT_FILE", Dovecot::Shared().AuthorityFile()};
    ScopedEnvironment m_NoPasswordVariable{"TURNPOST_IMAP_PASSWORD", std::nullopt};
};

TEST_F(CollectDovecotTest, TestConnectionCountsTheMessagesWithTheSettingsShownWithoutKeepingThem)
{
    ASSERT_TRUE(Dovecot::Shared().Save(m_User, "INBOX", "Subject: one\r\n\r\nfirst\r\n"));
    ASSERT_TRUE(Dovecot::Shared().Save(m_User, "INBOX", "Subject: two\r\n\r\nsecond\r\n"));
    GameSetup setup;
    RecordingUserInterface ui;
    CCollectSettingsDialog dialog(setup, ui);
    ShowMailbox(dialog, Address());
    // A command the host typed is his own: it runs without a question.
    Child<QLineEdit>(dialog, "collectPasswordCommandEdit")
        ->setText(QString::fromStdString("echo " + Dovecot::Password(m_User)));
    Child<QPushButton>(dialog, "testConnectionButton")->click();
    EXPECT_EQ(Result(dialog).toStdString(), "Connected: 2 messages in INBOX");
    EXPECT_TRUE(ui.CommandQuestions.empty());

    dialog.reject();
    EXPECT_EQ(setup, GameSetup{});
}

TEST_F(CollectDovecotTest, ACommandFromTheFileAsksFirstAndARefusalRunsNothing)
{
    GameSetup setup;
    RecordingUserInterface ui;
    CCollectSettingsDialog dialog(setup, ui);
    const std::string command = "echo " + Dovecot::Password(m_User);
    dialog.SetPasswordCommandSource("/games/alpha.tpf", command);
    ShowMailbox(dialog, Address());
    Child<QLineEdit>(dialog, "collectPasswordCommandEdit")->setText(QString::fromStdString(command));
    ui.CommandApprovals.push_back(false);
    Child<QPushButton>(dialog, "testConnectionButton")->click();
    ASSERT_EQ(ui.CommandQuestions.size(), 1u);
    EXPECT_EQ(ui.CommandQuestions[0], command + "|/games/alpha.tpf");
    ASSERT_EQ(ui.CommandDestinations.size(), 1u);
    EXPECT_EQ(ui.CommandDestinations[0].Security, "IMAP SSL/TLS");
    EXPECT_TRUE(Result(dialog).startsWith("** ERROR: ")) << Result(dialog).toStdString();
    EXPECT_TRUE(ui.Progress.empty()) << "nothing connected";

    ui.CommandApprovals.push_back(true);
    Child<QPushButton>(dialog, "testConnectionButton")->click();
    EXPECT_EQ(Result(dialog).toStdString(), "Connected: 0 messages in INBOX");
}

// The dialog and the window stay live while the server keeps the test waiting, and the error is shown
// whether the port refuses or never answers.
TEST(CollectConnectionTest, ErrorsAreShownAndTheWindowsStayLiveMeanwhile)
{
    ScopedEnvironment password("TURNPOST_IMAP_PASSWORD", "secret");
    for (const bool refused : {true, false}) {
        SCOPED_TRACE(refused ? "closed port" : "silent server");
        test::SilentListener listener;
        if (refused)
            listener.Close();
        GameDocument document;
        CMainWindow window(document);
        window.show();
        GameSetup setup;
        setup.SmtpTimeout = 1000; // the mailbox waits as long as the mail server would
        CCollectSettingsDialog dialog(setup, window.UserInterface(), &window);
        dialog.setWindowModality(Qt::ApplicationModal); // as exec() makes it
        dialog.show();
        Child<QLineEdit>(dialog, "collectServerEdit")->setText(QString::fromStdString(listener.Address()));
        Child<QComboBox>(dialog, "collectSecurityCombo")->setCurrentIndex(0);
        Child<QLineEdit>(dialog, "collectUserEdit")->setText("host");

        int ticks = 0;
        bool disabledMeanwhile = false;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            ++ticks;
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (qobject_cast<CProgressWindow*>(widget) && widget->isVisible() && !dialog.isEnabled())
                    disabledMeanwhile = true;
        });
        ticker.start(20);
        Child<QPushButton>(dialog, "testConnectionButton")->click();
        EXPECT_TRUE(Result(dialog).startsWith("** ERROR: ")) << Result(dialog).toStdString();
        if (!refused) {
            EXPECT_GT(ticks, 5) << "the window's own timer fired while the server kept silent";
            EXPECT_TRUE(disabledMeanwhile);
        }
        EXPECT_TRUE(dialog.isEnabled());
        ticker.stop();
        dialog.reject();
        EXPECT_FALSE(dialog.isVisible()) << "closes once the test is over";
    }
}

class OrdersMarkTest : public ::testing::Test
{
protected:
    OrdersMarkTest()
    {
        m_Universe = test::WriteConsistentGame(m_Dir, "galaxy", 4);
        m_Window.show();
    }

    /// The game as an opened setup shows it, the marks refreshed at once.
    void Open(const std::string& universe)
    {
        m_Document.Setup.UniverseFile = universe;
        for (int index = 0; index < 4; ++index)
            m_Document.Setup.Players[static_cast<std::size_t>(index)].Selected = 1;
        m_Window.FillRows();
        m_Window.ShowState();
        Refresh();
    }
    void Refresh() { Child<QAction>(m_Window, "refreshAction")->trigger(); }
    QLabel* Mark(int number) { return Child<QLabel>(m_Window, QString("ordersMark%1").arg(number).toUtf8()); }

    TempDir m_Dir;
    std::string m_Universe;
    GameDocument m_Document;
    RecordingUserInterface m_Ui;
    CMainWindow m_Window{m_Document, &m_Ui};
};

TEST_F(OrdersMarkTest, EachRowSaysWhetherItsOrdersAreInAndWhyAFileDoesNotCount)
{
    m_Dir.Write("galaxy.x1", GameFileBytes(Orders(0)));
    GameFileFacts lastTurn = Orders(1);
    lastTurn.Turn = 41;
    m_Dir.Write("galaxy.x2", GameFileBytes(lastTurn));
    m_Dir.Write("galaxy.x6", GameFileBytes(Orders(5)));
    Open(m_Universe);

    struct Row
    {
        int Number;
        const char* Accessible;
        const char* Tip;
    };
    for (const Row row :
         {Row{1, "Player 1 orders: in", "Orders for 2442 are in: galaxy.x1"},
          Row{2, "Player 2 orders: not counted",
              "galaxy.x2 does not count: for turn 2441, the current turn is 2442"},
          Row{3, "Player 3 orders: missing", "No orders for 2442 yet"},
          // Not selected, yet his orders are there: they count.
          Row{6, "Player 6 orders: in", "Orders for 2442 are in: galaxy.x6"}, Row{7, "", ""}}) {
        SCOPED_TRACE(row.Number);
        QLabel* mark = Mark(row.Number);
        EXPECT_EQ(mark->accessibleName().toStdString(), row.Accessible);
        // Without a ledger every row with a mark also says no turn mail went out.
        EXPECT_EQ(mark->toolTip().toStdString(),
                  *row.Tip ? std::string(row.Tip) + "\nNo turn mail for 2442 yet" : "");
        EXPECT_EQ(mark->text().isEmpty(), *row.Accessible == '\0');
    }
    EXPECT_TRUE(Child<QLineEdit>(m_Window, "rowEdit2")->toolTip().contains("galaxy.x2 does not count"));
    EXPECT_NE(Mark(1)->text(), Mark(2)->text());
    EXPECT_NE(Mark(2)->text(), Mark(3)->text());

    // Orders copied in by hand show after a refresh (F5).
    m_Dir.Write("galaxy.x3", GameFileBytes(Orders(2)));
    Refresh();
    EXPECT_EQ(Mark(3)->accessibleName().toStdString(), "Player 3 orders: in");
    EXPECT_EQ(Child<QAction>(m_Window, "refreshAction")->shortcut(), QKeySequence(Qt::Key_F5));
}

TEST_F(OrdersMarkTest, NothingIsMarkedWithoutAUniverseFileOrAUsableHostFile)
{
    m_Dir.Write("galaxy.x1", GameFileBytes(Orders(0)));
    Open("");
    EXPECT_TRUE(Mark(1)->text().isEmpty());
    EXPECT_TRUE(Mark(2)->text().isEmpty());

    GameFileFacts busy;
    busy.FileType = 2;
    busy.PlayerIndex = 31;
    busy.Flags = 0x02;
    const std::string host = m_Dir.Write("galaxy.hst", GameFileBytes(busy));
    Open(m_Universe);
    EXPECT_TRUE(Mark(1)->text().isEmpty());
    EXPECT_TRUE(Mark(2)->text().isEmpty());
    EXPECT_EQ(Child<QLineEdit>(m_Window, "universeFileEdit")->toolTip().toStdString(),
              "Orders cannot be judged: " + host + " is in use");
}

TEST_F(OrdersMarkTest, TheTurnLineCountsOrdersAndGivesTheDeadlineAndEachRowItsTurnMail)
{
    m_Document.FilePath = m_Dir.File("galaxy.tpf");
    m_Document.Setup.TurnDeadlineHours = 72;
    PlayerAttempt attempt;
    attempt.Time = "2020-03-07T13:00:00Z";
    attempt.Year = 2442;
    attempt.Player = 2;
    attempt.Result = "[Player 2] sent to two@example.org";
    attempt.Sent = true;
    m_Dir.Write("galaxy.tpf.ledger", AttemptToJson(attempt) + "\n" +
                                         ReminderToJson({"2020-03-09T13:00:00Z", 2442, 3, "three@example.org",
                                                         "[Player 3] reminded", true}) +
                                         "\n");
    m_Dir.Write("galaxy.x2", GameFileBytes(Orders(1)));
    Open(m_Universe);

    auto* turn = Child<QLabel>(m_Window, "turnStateLabel");
    EXPECT_TRUE(turn->isVisible());
    // The clock is the machine's: that deadline has long passed.
    EXPECT_EQ(turn->text().left(66).toStdString(),
              "2442: orders in 1 of 4; deadline Tue 10 Mar 2020 13:00 UTC (passed");
    EXPECT_EQ(Mark(2)->toolTip().toStdString(),
              "Orders for 2442 are in: galaxy.x2\nTurn mail: [Player 2] sent to two@example.org");
    EXPECT_EQ(Mark(3)->toolTip().toStdString(),
              "No orders for 2442 yet\nNo turn mail for 2442 yet\nReminded this year");

    // No game, no line.
    Open("");
    EXPECT_FALSE(turn->isVisible());
}

TEST_F(CollectDovecotTest, CollectOrdersFromTheMenuTakesAnOrderAndMarksIt)
{
    TempDir dir;
    GameDocument document;
    RecordingUserInterface ui;
    CMainWindow window(document, &ui);
    window.show();
    const std::string universe = test::WriteConsistentGame(dir, "galaxy", 3);
    document.FilePath = dir.File("galaxy.tpf");
    GameSetup& setup = document.Setup;
    setup.GameName = "Galaxy";
    setup.UniverseFile = universe;
    setup.CollectServer = Address();
    setup.CollectUser = m_User;
    setup.AcknowledgeOrders = 0;
    for (int index = 0; index < 3; ++index)
        setup.Players[static_cast<std::size_t>(index)].Selected = 1;
    window.FillRows();
    window.ShowState();
    ASSERT_TRUE(Dovecot::Shared().Save(
        m_User, "INBOX",
        "From: two@example.net\r\nSubject: orders\r\nMessage-ID: <o2@example.net>\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nhi\r\n"
        "--b\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
        "Content-Disposition: attachment; filename=\"galaxy.x2\"\r\n\r\n" +
            EncodeBase64Line(GameFileBytes(Orders(1))) + "\r\n--b--\r\n"));
    Child<QAction>(window, "refreshAction")->trigger();
    auto* mark = Child<QLabel>(window, "ordersMark2");
    EXPECT_EQ(mark->accessibleName().toStdString(), "Player 2 orders: missing");

    ui.Passwords.push_back(Dovecot::Password(m_User));
    Child<QAction>(window, "collectAction")->trigger();
    EXPECT_TRUE(FileExists(dir.File("galaxy.x2")));
    ASSERT_EQ(ui.Summaries.size(), 1u);
    EXPECT_NE(ui.Summaries[0].find("Orders in: 1 of 3"), std::string::npos) << ui.Summaries[0];
    EXPECT_EQ(mark->accessibleName().toStdString(), "Player 2 orders: in");

    // Not while a run goes.
    window.SetBusy(true);
    EXPECT_FALSE(Child<QAction>(window, "collectAction")->isEnabled());
    window.SetBusy(false);
}

} // namespace
} // namespace turnpost
