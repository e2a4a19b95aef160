#include "send/SendSession.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace turnpost {
namespace {

using test::TempDir;

// A small universe file is encoded once for the run; a large one is only measured, and measured
// again for each player, so that the size each message declares is the file's as it is sent.
TEST(LargeUniverse, OnlyASmallFileIsHeldForTheRun)
{
    TempDir dir;
    ConnectionSettings settings;
    struct Case
    {
        std::uint64_t Size;
        bool Held;
    };
    const Case cases[] = {{CSendSession::HeldUniverseSize - 1, true},
                          {CSendSession::HeldUniverseSize, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Size);
        const std::string path = dir.Write("game.xy", "");
        std::filesystem::resize_file(path, c.Size);
        CSendSession session(settings);
        const CMailAttachment* first = session.Universe(path);
        ASSERT_NE(first, nullptr) << session.UniverseError();
        EXPECT_EQ(first->IsHeld(), c.Held);
        EXPECT_EQ(first->GetSize(), c.Size);

        std::filesystem::resize_file(path, c.Size + 100);
        const CMailAttachment* next = session.Universe(path);
        ASSERT_NE(next, nullptr) << session.UniverseError();
        EXPECT_EQ(next->GetSize(), c.Held ? c.Size : c.Size + 100);
    }
}

} // namespace
} // namespace turnpost
