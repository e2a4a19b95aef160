#include "app/ConsoleUserInterface.h"
#include "support/FakeClock.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace turnpost;

TEST(ConsoleUserInterface, MessagesAreOneLineAndQuestionsAreDeclined)
{
    std::ostringstream err, out;
    CConsoleUserInterface console(err, out, false);
    IUserInterface& ui = console;
    EXPECT_EQ(ui.MessageBox("Could not open file: a.tpf"), MessageAnswer::Ok);
    EXPECT_EQ(ui.MessageBox("Save changes?", "Alert!", MessageButtons::YesNoCancel, MessageIcon::Question),
              MessageAnswer::Cancel);
    ui.MessageBox("two\r\nlines\n");
    EXPECT_EQ(err.str(), "turnpost: Could not open file: a.tpf\n"
                         "turnpost: Alert! Save changes?\n"
                         "turnpost: two lines\n");
    EXPECT_FALSE(ui.OpenFileDialog("x", "tpf"));
}

TEST(ConsoleProgress, TerminalRewritesOneLineAndLogsGetOneLinePerResult)
{
    std::ostringstream terminal, log, out;
    for (auto* stream : {&terminal, &log}) {
        CConsoleUserInterface console(*stream, out, stream == &terminal);
        auto progress = console.CreateProgressWindow("Status");
        progress->SetRange(16, 1);
        progress->StepIt();
        progress->StepIt();
        progress->StepIt();
        progress->SetText("Sending to Player #3...");
        progress->ShowResult("[Player 3] Sent OK\n");
    }
    EXPECT_NE(terminal.str().find("\r\033[KSending to Player #3... [18%]"), std::string::npos);
    EXPECT_NE(terminal.str().find("[Player 3] Sent OK\n"), std::string::npos);
    EXPECT_EQ(log.str(), "[Player 3] Sent OK\n");
}

TEST(ConsoleProgress, InterruptCancelsOnlyWindowsMadeBeforeIt)
{
    std::ostringstream err, out;
    CConsoleUserInterface console(err, out, false);
    auto run = console.CreateProgressWindow("Status");
    EXPECT_FALSE(run->IsCancelled());
    CConsoleUserInterface::SimulateInterrupt();
    EXPECT_TRUE(run->IsCancelled());
    run->PumpFor(60000); // a cancelled pause returns at once
    // The report that follows the cancelled run gets a window of its own that starts uncancelled.
    EXPECT_FALSE(console.CreateProgressWindow("Status")->IsCancelled());
}

TEST(ConsoleProgress, APauseIsWaitedOutInShortStepsAndEndsAtAnInterrupt)
{
    std::ostringstream err, out;
    CConsoleUserInterface console(err, out, false);
    {
        test::FakeClock clock;
        console.CreateProgressWindow("Status")->PumpFor(30000);
        int slept = 0;
        for (const int step : clock.Sleeps) {
            EXPECT_LE(step, 50) << "a long step would keep Ctrl+C waiting";
            slept += step;
        }
        EXPECT_EQ(slept, 30000);
    }
    {
        test::FakeClock clock;
        clock.AfterSleep = [](std::uint32_t now) {
            if (now >= 1000 + 200)
                CConsoleUserInterface::SimulateInterrupt();
        };
        console.CreateProgressWindow("Status")->PumpFor(30000);
        EXPECT_EQ(clock.TickCount(), 1000u + 200u) << "the pause goes on after Ctrl+C";
    }
}
