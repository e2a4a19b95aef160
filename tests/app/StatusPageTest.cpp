#include "setup/SetupFile.h"
#include "support/CommandOutput.h"
#include "support/GameFiles.h"
#include "support/ProgramRun.h"
#include "support/RecordingUserInterface.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace turnpost;
using namespace turnpost::test;

namespace {

// Reads the page as a browser's parser would: the tags it opens, and its text one piece a line.
constexpr const char* PageReader = R"(import sys
from html.parser import HTMLParser
class Reader(HTMLParser):
    def handle_starttag(self, tag, attrs):
        print('tag ' + tag + ''.join(' ' + name for name, _ in attrs))
    def handle_data(self, data):
        if data.strip():
            print('text ' + data.strip())
reader = Reader()
reader.feed(open(sys.argv[1], encoding='utf-8').read())
reader.close()
)";

std::string OrderBytes(int playerIndex)
{
    GameFileFacts facts;
    facts.FileType = 1;
    facts.PlayerIndex = playerIndex;
    facts.Size = 50;
    return GameFileBytes(facts);
}

} // namespace

TEST(StatusPage, NamesTheGameAndWhoseOrdersAreInAndNothingElse)
{
    TempDir dir;
    GameSetup setup;
    setup.GameName = "<script>alert('x')</script> & co";
    setup.SmtpServer = "127.0.0.1:1";
    setup.UniverseFile = WriteConsistentGame(dir, "g", 2);
    setup.Players[0] = {1, "p1@example.org", ""};
    setup.Players[1] = {1, "p2@example.org", ""};
    dir.Write("g.x1", OrderBytes(0));
    const std::string path = dir.File("game.tpf");
    RecordingUserInterface ui;
    ASSERT_TRUE(WriteSetupFile(path, setup, ui));
    const std::string page = dir.File("page.html");

    std::string err, out;
    RunProgram(dir.Path(), {"--status", path, "--html", page}, &err, &out);
    const std::string html = ReadFileBytes(page);
    ASSERT_FALSE(html.empty()) << err;
    EXPECT_EQ(html.find('@'), std::string::npos) << html;
    EXPECT_EQ(html.find(dir.Path()), std::string::npos) << html;

    const std::string reader = dir.Write("read_page.py", PageReader);
    const std::string parsed = CommandOutput("/usr/bin/python3 '" + reader + "' '" + page + "'");
    // The hostile name is text, never a tag; nothing is loaded from elsewhere or run.
    EXPECT_NE(parsed.find("text <script>alert('x')</script> & co, year 2442\n"), std::string::npos) << parsed;
    std::istringstream lines(parsed);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("tag ", 0) != 0)
            continue;
        for (const char* forbidden :
             {"tag script", "tag link", "tag img", "tag iframe", " src", " href", " on"})
            EXPECT_EQ(line.find(forbidden), std::string::npos) << line;
    }
    EXPECT_NE(parsed.find("text Player 1\ntag td\ntext orders in\n"), std::string::npos) << parsed;
    EXPECT_NE(parsed.find("text Player 2\ntag td\ntext no orders yet\n"), std::string::npos) << parsed;
}

TEST(StatusPage, HtmlWithoutStatusIsWrongUsage)
{
    TempDir dir;
    std::string err;
    EXPECT_EQ(RunProgram(dir.Path(), {"--html", dir.File("page.html")}, &err), 2);
    EXPECT_NE(err.find("--html goes with --status"), std::string::npos) << err;
    EXPECT_FALSE(std::ifstream(dir.File("page.html")).good());
}
