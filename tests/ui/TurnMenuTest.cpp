// The Turn menu's reminders and advance, against a real mail server, as the host clicks them.
#include "send/DeliveryLedger.h"
#include "support/GameFiles.h"
#include "support/RecordingUserInterface.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"
#include "ui/MainWindow.h"

#include <QAction>

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::RecordingUserInterface;
using test::SmtpSink;
using test::TempDir;

class TurnMenuTest : public ::testing::Test
{
protected:
    TurnMenuTest()
    {
        GameSetup& setup = m_Document.Setup;
        setup.GameName = "Galaxy";
        setup.UniverseFile = test::WriteConsistentGame(m_Dir, "galaxy", 2);
        setup.SmtpServer = m_Sink.Address();
        setup.ReturnAddress = "host@example.org";
        setup.Players[0] = {1, "p1@example.org", ""};
        setup.Players[1] = {1, "p2@example.org", ""};
        m_Document.FilePath = m_Dir.File("galaxy.tpf");
        m_Window.FillRows();
        m_Window.ShowState();
    }
    void Trigger(const char* name) { m_Window.findChild<QAction*>(name)->trigger(); }

    SmtpSink m_Sink;
    TempDir m_Dir;
    GameDocument m_Document;
    RecordingUserInterface m_Ui;
    CMainWindow m_Window{m_Document, &m_Ui};
};

TEST_F(TurnMenuTest, RemindersBeforeTheirTimeAreSentOnlyWhenTheHostSaysYes)
{
    ASSERT_TRUE(m_Sink.IsRunning()) << m_Sink.Error();
    m_Document.Setup.TurnDeadlineHours = 24 * 30;
    PlayerAttempt mailed;
    mailed.Time = AttemptTime();
    mailed.Year = 2442;
    mailed.Player = 1;
    mailed.Result = "[Player 1] sent";
    mailed.Sent = true;
    m_Dir.Write("galaxy.tpf.ledger", AttemptToJson(mailed) + "\n");

    m_Ui.Answers = {MessageAnswer::No};
    Trigger("sendRemindersAction");
    ASSERT_EQ(m_Ui.Summaries.size(), 1u);
    EXPECT_EQ(m_Ui.Summaries[0].rfind("Reminders not due yet", 0), 0u) << m_Ui.Summaries[0];
    EXPECT_TRUE(ReadLedger(m_Document.FilePath + ".ledger").Reminders.empty());

    m_Ui.Answers = {MessageAnswer::Yes};
    Trigger("sendRemindersAction");
    ASSERT_EQ(m_Ui.Summaries.size(), 2u);
    EXPECT_NE(m_Ui.Summaries[1].find("[Player 2] reminded p2@example.org"), std::string::npos)
        << m_Ui.Summaries[1];
    EXPECT_EQ(m_Sink.WaitForMessages(2).size(), 2u);
}

TEST_F(TurnMenuTest, AdvanceTurnSaysWhatItWaitsForAndTheBoardShowsEachPlayer)
{
    Trigger("advanceTurnAction");
    ASSERT_EQ(m_Ui.Summaries.size(), 1u);
    EXPECT_EQ(m_Ui.Summaries[0], "Waiting for players 1 and 2; nothing generated\n");

    test::WriteOrders(m_Dir, "galaxy", 2);
    Trigger("turnBoardAction");
    ASSERT_EQ(m_Ui.Summaries.size(), 2u);
    EXPECT_EQ(m_Ui.Summaries[1], "2442: orders in 1 of 2\n"
                                 "[Player 1] no orders yet; no turn mail yet\n"
                                 "[Player 2] orders in; no turn mail yet\n");
}

} // namespace
} // namespace turnpost
