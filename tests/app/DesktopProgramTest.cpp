#include "platform/Version.h"
#include "support/ProgramRun.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace turnpost;
using namespace turnpost::test;

// The desktop program answers what needs no window before it starts Qt, so that it works where no
// display is, and hands the headless commands back to turnpost.
TEST(DesktopProgramTest, AnswersWithoutAWindowAndPointsHeadlessCommandsToTurnpost)
{
    if (!TURNPOST_HAS_DESKTOP)
        GTEST_SKIP() << "this build has no desktop program";
    TempDir dir;
    const std::string program = ProgramBeside("turnpost-desktop");
    struct Case
    {
        std::vector<std::string> args;
        int status;
        const char* out;
        const char* err;
    };
    const Case cases[] = {
        {{"--version"}, 0, ProgramName, ""},
        {{"--help"}, 0, "Usage: turnpost", ""},
        {{"--check", "game.tpf"}, 2, "", "--check runs without a window: use turnpost --check instead"},
        {{"--no-gui", "-X", "game.tpf"}, 2, "", "use turnpost --no-gui"},
        {{"--status", "game.tpf"}, 2, "", "use turnpost --status"},
        {{"-O", "game.tpf"}, 1, "", "no display to open a window on"},
        {{"--bogus"}, 2, "", "unknown option --bogus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        ProgramRun run(program, dir.Path(), c.args, {"QT_QPA_PLATFORM="});
        ASSERT_EQ(run.Wait(), c.status) << run.StdErr();
        EXPECT_NE(run.StdOut().find(c.out), std::string::npos) << run.StdOut();
        EXPECT_NE(run.StdErr().find(c.err), std::string::npos) << run.StdErr();
    }
}
