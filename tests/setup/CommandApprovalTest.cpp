#include "setup/CommandApproval.h"

#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace turnpost {
namespace {

using test::ScopedEnvironment;
using test::TempDir;

struct ApprovalStore : ::testing::Test
{
    TempDir Dir;
    ScopedEnvironment Config{"XDG_CONFIG_HOME", Dir.File("config")};
    std::string Setup = Dir.Write("war.tpf", "");
    const SecretDestination To{"smtp.example.org:587", "STARTTLS", "host"};
};

// An approval holds for the file, the command and the place the secret goes; a change of any of them
// asks again, so an edited setup cannot send the password elsewhere.
TEST_F(ApprovalStore, AnApprovalCoversFileCommandServerSecurityAndUser)
{
    std::string error;
    ASSERT_TRUE(ApproveCommand(Setup, "pass show smtp", To, error)) << error;
    EXPECT_TRUE(IsCommandApproved(Setup, "pass show smtp", To));
    const struct
    {
        const char* name;
        std::string setup;
        std::string command;
        SecretDestination to;
    } changed[] = {
        {"another file", Dir.Write("other.tpf", ""), "pass show smtp", To},
        {"another command", Setup, "pass show smtp ", To},
        {"another server", Setup, "pass show smtp", {"evil.example.org:587", "STARTTLS", "host"}},
        {"no encryption", Setup, "pass show smtp", {"smtp.example.org:587", "no encryption", "host"}},
        {"another user", Setup, "pass show smtp", {"smtp.example.org:587", "STARTTLS", "other"}},
    };
    for (const auto& c : changed)
        EXPECT_FALSE(IsCommandApproved(c.setup, c.command, c.to)) << c.name;
}

// Approvals given at the same time are all kept: the store is locked while it is rewritten.
TEST_F(ApprovalStore, ApprovalsGivenAtTheSameTimeAreAllKept)
{
    constexpr int Threads = 8;
    constexpr int Each = 10;
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < Each; ++i) {
                std::string error;
                EXPECT_TRUE(
                    ApproveCommand(Setup, "cmd " + std::to_string(t) + " " + std::to_string(i), To, error))
                    << error;
            }
        });
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < Threads; ++t)
        for (int i = 0; i < Each; ++i)
            EXPECT_TRUE(IsCommandApproved(Setup, "cmd " + std::to_string(t) + " " + std::to_string(i), To));
}

} // namespace
} // namespace turnpost
