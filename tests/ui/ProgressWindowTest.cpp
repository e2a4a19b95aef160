#include "ui/ProgressWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <vector>

namespace turnpost {
namespace {

/// Counts the events that reach it, to see whether the pump delivered what was waiting.
class EventCounter : public QObject
{
public:
    int Count = 0;
    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        ++Count;
        return true;
    }
};

void Post(EventCounter& counter)
{
    QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
}

TEST(ProgressWindowTest, CaptionShowsThePercentageOnlyWhenItChanges)
{
    CProgressWindow window(nullptr, "Status");
    std::vector<QString> captions;
    QObject::connect(&window, &QWidget::windowTitleChanged,
                     [&](const QString& title) { captions.push_back(title); });
    EXPECT_EQ(window.windowTitle(), "Status");
    window.SetRange(16, 1);
    EXPECT_EQ(window.windowTitle(), "Status");

    for (int step = 0; step < 16; ++step)
        EXPECT_EQ(window.StepIt(), step);
    const std::vector<QString> expected = {"Status [6%]",  "Status [12%]", "Status [18%]", "Status [25%]",
                                           "Status [31%]", "Status [37%]", "Status [43%]", "Status [50%]",
                                           "Status [56%]", "Status [62%]", "Status [68%]", "Status [75%]",
                                           "Status [81%]", "Status [87%]", "Status [93%]", "Status [100%]"};
    EXPECT_EQ(captions, expected);

    // With 200 steps every other step leaves the integer percentage as it was.
    captions.clear();
    window.SetRange(200, 1);
    EXPECT_EQ(window.SetPos(0), 16);
    window.StepIt();
    EXPECT_TRUE(window.windowTitle() == "Status [0%]");
    window.StepIt();
    window.StepIt();
    EXPECT_EQ(window.StepIt(), 3);
    EXPECT_EQ(captions, (std::vector<QString>{"Status [0%]", "Status [1%]", "Status [2%]"}));
}

TEST(ProgressWindowTest, EscapeAndCancelSetTheFlagForGood)
{
    for (bool viaEscape : {true, false}) {
        CProgressWindow window(nullptr, "Status");
        EXPECT_FALSE(window.IsCancelled());
        window.PumpMessages();
        EXPECT_FALSE(window.IsCancelled());
        if (viaEscape) {
            // The key arrives as an event waiting in the queue, as a typed one would.
            QCoreApplication::postEvent(&window,
                                        new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
            window.PumpMessages();
        } else {
            window.findChild<QPushButton*>("cancelButton")->click();
        }
        EXPECT_TRUE(window.IsCancelled()) << viaEscape;
        window.PumpMessages();
        window.SetPos(3);
        EXPECT_TRUE(window.IsCancelled()) << viaEscape;
        EXPECT_TRUE(window.isVisible()) << "only the run that made the window ends it";
    }
}

TEST(ProgressWindowTest, PumpDeliversWhatWaitsAndNothingOnceCancelled)
{
    CProgressWindow window(nullptr, "Status");
    EventCounter counter;
    window.PumpMessages(); // returns although nothing is waiting
    Post(counter);
    Post(counter);
    window.PumpMessages();
    EXPECT_EQ(counter.Count, 2);

    window.findChild<QPushButton*>("cancelButton")->click();
    Post(counter);
    window.PumpMessages();
    window.PumpFor(60000);
    EXPECT_EQ(counter.Count, 2) << "a cancelled window's pump must not look at the queue";
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.Count, 3);
}

TEST(ProgressWindowTest, PumpForServesEventsAndEndsEarlyOnCancel)
{
    CProgressWindow window(nullptr, "Status");
    EventCounter counter;
    Post(counter);
    window.PumpFor(1);
    EXPECT_EQ(counter.Count, 1);

    QTimer::singleShot(0, &window, [&window] { window.findChild<QPushButton*>("cancelButton")->click(); });
    QElapsedTimer clock;
    clock.start();
    window.PumpFor(60000);
    EXPECT_TRUE(window.IsCancelled());
    EXPECT_LT(clock.elapsed(), 30000) << "the pause must end when Cancel is clicked";
}

TEST(ProgressWindowTest, StatusTextIsShownLiterallyAndCutAtACharacterBoundary)
{
    CProgressWindow window(nullptr, "Status");
    auto* status = window.findChild<QLabel*>("statusLabel");
    window.SetText("Sending to Player #3 (R&D <a&b@example.com>)...");
    EXPECT_EQ(status->text(), "Sending to Player #3 (R&D <a&b@example.com>)...");
    EXPECT_EQ(status->textFormat(), Qt::PlainText);

    // 510 bytes and a two-byte letter: the letter would straddle the limit, so it goes whole.
    window.SetText(std::string(510, 'x') + "\xc3\xa9" + "tail");
    EXPECT_EQ(status->text().toStdString(), std::string(510, 'x'));
    window.SetText(std::string(511, 'y') + "z");
    EXPECT_EQ(status->text().toStdString(), std::string(511, 'y'));
}

TEST(ProgressWindowTest, FloatsCentredOverItsOwnerWithoutCloseBox)
{
    QWidget owner;
    owner.setGeometry(100, 80, 700, 500);
    owner.show();
    turnpost::CProgressWindow window(&owner, "Status");
    EXPECT_TRUE(window.isWindow());
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_LE((window.frameGeometry().center() - owner.frameGeometry().center()).manhattanLength(), 2);
    EXPECT_EQ(window.windowHandle()->transientParent(), owner.windowHandle());
    // A run disables its owner window; Cancel must stay live.
    owner.setEnabled(false);
    EXPECT_TRUE(window.isEnabled());
    // The desktop's close request counts as Cancel; the window itself stays.
    window.close();
    EXPECT_TRUE(window.IsCancelled());
    EXPECT_TRUE(window.isVisible());
}

} // namespace
} // namespace turnpost

// The host's Escape reaches the status window even while the main window was active when it opened.
TEST(ProgressWindowTest, OpensWithTheKeyboardSoEscapeCancels)
{
    QWidget owner;
    owner.show();
    QApplication::setActiveWindow(&owner);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&owner));
    turnpost::CProgressWindow window(&owner, "Status");
    // The offscreen platform activates every window shown; a window manager honours this attribute.
    EXPECT_FALSE(window.testAttribute(Qt::WA_ShowWithoutActivating));
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    // Activation reaches the widgets through the event loop, as under a window manager.
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }));
    EXPECT_EQ(QApplication::focusWidget()->window(), &window);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    window.PumpMessages();
    EXPECT_TRUE(window.IsCancelled());
}

// Skipped players share one line, so the results that matter stay in sight; once finishing, Cancel
// is gone.
TEST(ProgressWindowTest, SkippedPlayersShareALineAndFinishingEndsCancel)
{
    turnpost::CProgressWindow window(nullptr, "Status");
    window.SetText("Sending to Player #2...");
    window.ShowResult("[Player 1] ** ERROR: Connection refused\n");
    window.ShowResult("[Player 2] Sent OK\n");
    for (int n = 3; n <= 16; ++n)
        window.ShowResult("[Player " + std::to_string(n) + "] skipped\n");
    window.Finish("Sending the report...");
    EXPECT_EQ(window.findChild<QLabel*>("statusLabel")->text(),
              "Sending the report...\n[Player 1] ** ERROR: Connection refused\n[Player 2] Sent OK\n"
              "[Players 3-16] skipped");
    EXPECT_FALSE(window.findChild<QPushButton*>("cancelButton")->isEnabled());
    QCoreApplication::postEvent(&window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.IsCancelled());
}
