#include "send/SendRun.h"
#include "support/RecordingUserInterface.h"
#include "support/ScriptedSmtpPeer.h"
#include "ui/ProgressWindow.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <stdexcept>
#include <thread>

namespace turnpost {
namespace {

using test::RecordingUserInterface;
using test::ScriptedSmtpPeer;

/// Scripted answers, but the real progress window, so the run meets the desktop's event handling.
class DesktopProgressUserInterface : public RecordingUserInterface
{
public:
    using RecordingUserInterface::RecordingUserInterface;
    std::unique_ptr<IProgressWindow> CreateProgressWindow(const std::string& title) override
    {
        auto window = std::make_unique<CProgressWindow>(nullptr, title);
        Window = window.get();
        return window;
    }
    CProgressWindow* Window = nullptr;
};

/// Counts the paint events a widget gets.
class PaintCounter : public QObject
{
public:
    int Paints = 0;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++Paints;
        return QObject::eventFilter(watched, event);
    }
};

TEST(SendRunWindowTest, WindowLivesWhileAPlayerIsMailedAndCancelWaitsForHim)
{
    // The server keeps player 3 waiting before it greets; player 5 would come next.
    ScriptedSmtpPeer peer;
    peer.Pause(600).Accepting();
    peer.Start();

    GameDocument document;
    document.Setup.SmtpServer = peer.Address();
    document.Setup.ReturnAddress = "host@example.org";
    document.Setup.SendPlayerFile = 0;
    document.Setup.DisplaySummary = 0;
    for (int slot : {2, 4}) {
        document.Setup.Players[slot].Selected = 1;
        document.Setup.Players[slot].EmailAddress = "p" + std::to_string(slot + 1) + "@example.org";
    }
    DesktopProgressUserInterface ui(&document);
    ui.FillRows();

    // Looks at the window every few milliseconds while the run goes, as the desktop would repaint it.
    std::set<QString> statuses;
    int ticks = 0;
    bool cancelled = false;
    PaintCounter paints;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (!ui.Window)
            return;
        ++ticks;
        if (ticks == 1)
            ui.Window->installEventFilter(&paints);
        ui.Window->update();
        const QString status = ui.Window->findChild<QLabel*>("statusLabel")->text();
        statuses.insert(status.section('\n', 0, 0));
        if (!cancelled && status.startsWith("Sending to Player #3")) {
            QTest::mouseClick(ui.Window->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
            cancelled = true;
        }
    });
    timer.start(20);

    const SendOutcome outcome = OnSend(document, ui);
    timer.stop();
    peer.Wait();

    EXPECT_GT(ticks, 5);
    EXPECT_GT(paints.Paints, 0);
    EXPECT_TRUE(statuses.count("Sending to Player #3...")) << "the status named the player being mailed";
    EXPECT_TRUE(statuses.count("Cancelling after this player..."));
    // The player under way was finished; the cancel took effect before the next one.
    EXPECT_TRUE(outcome.Cancelled);
    EXPECT_EQ(outcome.Failed, 1);
    EXPECT_NE(outcome.Summary.find("[Player 3] Sent OK"), std::string::npos);
    EXPECT_EQ(outcome.Summary.find("[Player 5]"), std::string::npos);
    EXPECT_TRUE(peer.Mismatches().empty());
    ASSERT_FALSE(ui.Messages.empty());
    EXPECT_EQ(ui.Messages.back().Text, "Operation cancelled!");
}

TEST(SendRunWindowTest, ResultsAreListedUnderTheStatusLatestLast)
{
    CProgressWindow window(nullptr, "Status");
    window.SetText("Sending to Player #6...");
    for (int n = 1; n <= 5; ++n)
        window.ShowResult("[Player " + std::to_string(n) + "] Sent OK\n");
    EXPECT_EQ(window.findChild<QLabel*>("statusLabel")->text(),
              "Sending to Player #6...\n[Player 3] Sent OK\n[Player 4] Sent OK\n[Player 5] Sent OK");
}

TEST(SendRunWindowTest, WorkOnTheWorkerEndsBeforeRunWorkReturns)
{
    CProgressWindow window(nullptr, "Status");
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    bool done = false;
    const auto caller = std::this_thread::get_id();
    std::thread::id worker;
    window.RunWork([&] {
        worker = std::this_thread::get_id();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        done = true;
    });
    EXPECT_TRUE(done);
    EXPECT_NE(worker, caller);
    EXPECT_GT(ticks, 3);
    // A failure inside the work reaches the caller.
    EXPECT_THROW(window.RunWork([] { throw std::runtime_error("x"); }), std::runtime_error);
}

} // namespace
} // namespace turnpost
