// The window keeps handling events while a check or a test message waits for a slow server, and the
// host cannot start a second one or lose the outcome meanwhile.
#include "support/ScriptedSmtpPeer.h"
#include "ui/MailSettingsDialog.h"
#include "ui/MainWindow.h"
#include "ui/ProgressWindow.h"
#include "ui/SummaryDialog.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>

namespace turnpost {
namespace {

using test::ScriptedSmtpPeer;

/// Calls look every few milliseconds while the code under test runs its own event loops.
class Ticker
{
public:
    explicit Ticker(std::function<void()> look)
    {
        QObject::connect(&m_Timer, &QTimer::timeout, [this, look] {
            ++Ticks;
            look();
        });
        m_Timer.start(20);
    }
    int Ticks = 0;

private:
    QTimer m_Timer;
};

CProgressWindow* OpenProgressWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* progress = qobject_cast<CProgressWindow*>(widget); progress && progress->isVisible())
            return progress;
    return nullptr;
}

TEST(WindowStaysLive, CheckBeforeSendingWaitsForTheServerOffTheWindowsThread)
{
    ScriptedSmtpPeer peer;
    peer.Pause(600).Send("220 slow.example ESMTP\r\n").On("HELO", "250 ok\r\n").On("QUIT", "221 bye\r\n");
    peer.Start();
    GameDocument document;
    CMainWindow window(document);
    window.show();
    document.Setup.SmtpServer = peer.Address();
    document.Setup.ReturnAddress = "host@example.org";

    bool sawBusyWindow = false;
    QString summary, title;
    Ticker ticker([&] {
        if (OpenProgressWindow() && !window.findChild<QWidget*>("contentWidget")->isEnabled())
            sawBusyWindow = true;
        if (auto* dialog = qobject_cast<CSummaryDialog*>(QApplication::activeModalWidget())) {
            summary = dialog->findChild<QPlainTextEdit*>()->toPlainText();
            title = dialog->windowTitle();
            dialog->reject();
        }
    });
    window.findChild<QAction*>("checkAction")->trigger();
    peer.Wait();
    EXPECT_GT(ticker.Ticks, 5) << "the window's own timer fired while the server took its time";
    EXPECT_TRUE(sawBusyWindow);
    EXPECT_TRUE(summary.contains("[Server] OK: " + QString::fromStdString(peer.Address())))
        << summary.toStdString();
    EXPECT_EQ(title, "Check Before Sending");
    EXPECT_TRUE(window.findChild<QWidget*>("contentWidget")->isEnabled());
}

struct TestMessageRun
{
    bool Cancel = false;
    const char* Outcome;
    bool Mailed;
};

TEST(WindowStaysLive, TestMessageKeepsTheDialogAndItsOutcomeAndCancelsBeforeMailing)
{
    for (const TestMessageRun run :
         {TestMessageRun{false, "Test message sent to host@example.org.", true},
          TestMessageRun{true, "Test message cancelled: nothing was sent.", false}}) {
        SCOPED_TRACE(run.Outcome);
        ScriptedSmtpPeer peer;
        if (run.Cancel)
            peer.Pause(600)
                .Send("220 slow.example ESMTP\r\n")
                .On("HELO", "250 ok\r\n")
                .On("QUIT", "221 bye\r\n");
        else
            peer.Pause(600).Accepting();
        peer.Start();
        GameDocument document;
        CMainWindow window(document);
        window.show();
        GameSetup setup;
        CMailSettingsDialog dialog(setup, window.UserInterface(), &window);
        dialog.setWindowModality(Qt::ApplicationModal); // as exec() makes it
        dialog.show();
        dialog.findChild<QLineEdit*>("smtpServerEdit")->setText(QString::fromStdString(peer.Address()));
        dialog.findChild<QLineEdit*>("returnAddressEdit")->setText("host@example.org");
        auto* test = dialog.findChild<QPushButton*>("testMessageButton");

        bool disabledMeanwhile = false, aboveTheDialog = false;
        Ticker ticker([&] {
            CProgressWindow* progress = OpenProgressWindow();
            if (!progress)
                return;
            disabledMeanwhile = !dialog.isEnabled();
            aboveTheDialog = progress->windowHandle()->transientParent() == dialog.windowHandle();
            // Closing the dialog or clicking again must not cut the test short or start another.
            dialog.reject();
            test->click();
            if (run.Cancel)
                progress->findChild<QPushButton*>("cancelButton")->click();
        });
        test->click();
        peer.Wait();
        EXPECT_GT(ticker.Ticks, 5);
        EXPECT_TRUE(disabledMeanwhile);
        EXPECT_TRUE(aboveTheDialog);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.findChild<QLabel*>("testResultLabel")->text(), run.Outcome);
        EXPECT_EQ(peer.Connections(), 1);
        EXPECT_EQ(peer.Received().find("MAIL FROM") != std::string::npos, run.Mailed);
    }
}

} // namespace
} // namespace turnpost
