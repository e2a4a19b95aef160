#include "platform/Files.h"
#include "setup/SetupFile.h"
#include "support/ProgramRun.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

using namespace turnpost;
using namespace turnpost::test;

// A host's shell may limit the size of the files it writes (ulimit -f). A save that runs into the limit
// must fail like any other failed write, not kill the program half way through its temporary file.
TEST(FileSizeLimit, ImportUnderTheLimitFailsCleanly)
{
    TempDir dir;
    const std::string old = SerializeSetup(GameSetup{});
    const std::string target = dir.Write("game.tpf", old);
    const std::string json =
        dir.Write("big.json", R"({"GameName": "Alpha", "MessageText": ")" + std::string(200000, 'x') + "\"}");

    // An ignored signal stays ignored through exec: the program must ignore it itself.
    std::signal(SIGXFSZ, SIG_DFL);
    // 16 blocks of 512 bytes, far below the setup's size and far above what the program prints.
    ProgramRun run(
        "/bin/sh", dir.Path(),
        {"-c", "ulimit -f 16 && exec \"$0\" --import \"$1\" \"$2\"", TURNPOST_BINARY_PATH, json, target}, {});
    EXPECT_EQ(run.Wait(), 1);
    EXPECT_EQ(run.StdErr(), "turnpost: " + WriteErrorMessage(EFBIG, target) + "\n");
    EXPECT_EQ(ReadFileBytes(target), old);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"big.json", "game.tpf", "stderr.txt", "stdout.txt"}));
}
