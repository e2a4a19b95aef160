#include "app/CommandLine.h"
#include "setup/SetupFile.h"
#include "support/RecordingUserInterface.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace turnpost;
using turnpost::test::RecordingUserInterface;
using turnpost::test::TempDir;

namespace {

/// A folder with two good setups and a broken one, and a send that only records what it was given.
struct CommandLineRun : ::testing::Test
{
    TempDir Dir;
    std::string A, B, Broken;
    GameDocument Document;
    RecordingUserInterface Ui{&Document};
    std::vector<std::string> SentGames;
    std::vector<std::int32_t> CommandLineRunDuringSend;
    bool SendSucceeds = true;

    void SetUp() override
    {
        GameSetup setup;
        setup.GameName = "Alpha";
        A = Dir.File("a.tpf");
        ASSERT_TRUE(WriteSetupFile(A, setup, Ui));
        setup.GameName = "Beta";
        B = Dir.File("b.tpf");
        ASSERT_TRUE(WriteSetupFile(B, setup, Ui));
        Broken = Dir.Write("broken.tpf", SerializeSetup(setup).substr(0, 40));
    }

    CommandLineResult Run(const std::vector<std::string>& args, bool windowed = true)
    {
        const auto options = ParseCommandLine(args);
        EXPECT_TRUE(options.Error.empty()) << options.Error;
        return ProcessCommandLine(options, Document, Ui, windowed,
                                  [this](GameDocument& doc, IUserInterface&) {
                                      SentGames.push_back(doc.Setup.GameName);
                                      CommandLineRunDuringSend.push_back(doc.CommandLineRun);
                                      SendOutcome outcome;
                                      outcome.Started = true;
                                      outcome.Failed = SendSucceeds ? 0 : 1;
                                      return outcome;
                                  });
    }
};

} // namespace

TEST_F(CommandLineRun, SendKeepsTheWindowOpenAndNamesTheFile)
{
    const auto result = Run({"-s", A});
    EXPECT_FALSE(result.EndProgram);
    EXPECT_EQ(result.ExitStatus, 0);
    EXPECT_EQ(SentGames, std::vector<std::string>{"Alpha"});
    EXPECT_EQ(CommandLineRunDuringSend, std::vector<std::int32_t>{1});
    EXPECT_EQ(Document.CommandLineRun, 0);
    EXPECT_EQ(Document.FilePath, A);
    EXPECT_EQ(Ui.Captions.back(), "Turnpost - " + A);
}

TEST_F(CommandLineRun, ExitSendsAndEndsAlsoWhenTheFileIsMissing)
{
    auto result = Run({"-x", A});
    EXPECT_TRUE(result.EndProgram);
    EXPECT_EQ(result.ExitStatus, 0);

    const std::string missing = Dir.File("missing.tpf");
    result = Run({"-X", missing});
    EXPECT_TRUE(result.EndProgram);
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(SentGames.size(), 1u);
    ASSERT_FALSE(Ui.Messages.empty());
    EXPECT_EQ(Ui.Messages.back().Text, "Could not open file: " + missing);
}

TEST_F(CommandLineRun, SwitchesRunInTheOrderOpenSendExit)
{
    const auto result = Run({"-X", B, "-O", A});
    EXPECT_TRUE(result.EndProgram);
    // -O ran first, then -X opened b.tpf and sent it.
    EXPECT_EQ(SentGames, std::vector<std::string>{"Beta"});
    EXPECT_EQ(Document.FilePath, B);
}

TEST_F(CommandLineRun, NoSwitchLeavesAFreshUntitledSetup)
{
    const auto result = Run({});
    EXPECT_FALSE(result.EndProgram);
    EXPECT_EQ(Document.FilePath, "Untitled");
    EXPECT_TRUE(SentGames.empty());
}

TEST_F(CommandLineRun, BrokenFileStopsTheProcessing)
{
    const auto result = Run({"-O", Broken, "-X", A});
    // The send and the end of -X are not carried out; the window stays with the setup as it was.
    EXPECT_FALSE(result.EndProgram);
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_TRUE(SentGames.empty());
    EXPECT_EQ(Document.FilePath, "Untitled");
    EXPECT_EQ(Document.CommandLineRun, 0);
}

TEST_F(CommandLineRun, FailedSendAndWindowlessRunsEndWithTheirStatus)
{
    SendSucceeds = false;
    auto result = Run({"-S", A}, false);
    EXPECT_TRUE(result.EndProgram);
    EXPECT_EQ(result.ExitStatus, 1);

    SendSucceeds = true;
    result = Run({"-O", A}, false);
    EXPECT_TRUE(result.EndProgram);
    EXPECT_EQ(result.ExitStatus, 0);
}
