#include "app/CommandLine.h"
#include "app/CommandOptions.h"

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

using namespace turnpost;

namespace {

struct ParseCase
{
    std::vector<std::string> Args;
    std::optional<std::string> Open, Send, Exit;
    bool Error = false;
};

const ParseCase ParseCases[] = {
    {{}, {}, {}, {}},
    {{"-O", "a.tpf"}, "a.tpf", {}, {}},
    {{"-o", "a.tpf"}, "a.tpf", {}, {}},
    {{"-s", "/games/G1.tpf"}, {}, "/games/G1.tpf", {}}, // arguments keep their case
    {{"-Sgame.tpf"}, {}, "game.tpf", {}},               // argument attached to the switch
    {{"-X", "My Game.tpf"}, {}, {}, "My Game.tpf"},     // a blank, through the shell's quoting
    {{"-O", "my-setup.tpf"}, "my-setup.tpf", {}, {}},   // a switch letter inside a name never counts
    {{"-O", "/x/-s.tpf"}, "/x/-s.tpf", {}, {}},
    {{"-O", "a.tpf", "-S", "b.tpf"}, "a.tpf", "b.tpf", {}},
    {{"-X", "x.tpf", "-S", "s.tpf", "-O", "o.tpf"}, "o.tpf", "s.tpf", "x.tpf"},
    {{"-O", "first.tpf", "-o", "second.tpf"}, "first.tpf", {}, {}}, // the first occurrence counts
    {{"game.tpf"}, "game.tpf", {}, {}},                             // a bare file opens as -O does
    {{"-S"}, {}, "", {}},                                           // at the very end: an empty argument
    {{"--", "-S.tpf"}, "-S.tpf", {}, {}},
    {{"--bogus"}, {}, {}, {}, true},
    {{"-Q", "a.tpf"}, {}, {}, {}, true},
    {{"--import", "only.json"}, {}, {}, {}, true},
    {{"--export", "a.tpf", "-S", "b.tpf"}, {}, {}, {}, true},
};

} // namespace

TEST(ParseCommandLine, SwitchesAndTheirArguments)
{
    for (const auto& c : ParseCases) {
        std::string words;
        for (const auto& a : c.Args)
            words += "[" + a + "]";
        SCOPED_TRACE(words);
        const CommandLineOptions options = ParseCommandLine(c.Args);
        EXPECT_EQ(!options.Error.empty(), c.Error);
        if (c.Error)
            continue;
        EXPECT_EQ(options.Open, c.Open);
        EXPECT_EQ(options.Send, c.Send);
        EXPECT_EQ(options.Exit, c.Exit);
    }
}

TEST(ParseCommandLine, LongOptions)
{
    auto options = ParseCommandLine({"--no-gui", "--help", "--version"});
    EXPECT_TRUE(options.NoGui);
    EXPECT_TRUE(options.Help);
    EXPECT_TRUE(options.Version);

    options = ParseCommandLine({"--import", "in.json", "out.tpf"});
    EXPECT_EQ(options.ImportJson, "in.json");
    EXPECT_EQ(options.ImportTarget, "out.tpf");
    EXPECT_EQ(ParseCommandLine({"--export", "g.tpf"}).ExportFile, "g.tpf");
}

// The help page is written by hand; every option the parser takes must be in its table of options.
TEST(CommandOptions, EveryOptionIsInTheHelpPage)
{
    std::ifstream in(std::string(TURNPOST_SOURCE_PATH) + "/src/ui/help/index.html.in");
    const std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(page.empty());
    for (const CommandOption& option : CommandOptionTable()) {
        SCOPED_TRACE(option.Name);
        EXPECT_NE(page.find("<tt>" + OptionLabel(option) + "</tt>"), std::string::npos);
        EXPECT_NE(UsageText().find("  " + OptionLabel(option)), std::string::npos);
    }
    EXPECT_TRUE(ParseCommandLine({"-h"}).Help);
}
