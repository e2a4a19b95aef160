#include "setup/CommandApproval.h"

#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

// A store spoiled the ways only POSIX permissions, owners and links allow.

namespace turnpost {
namespace {

using test::ScopedEnvironment;
using test::TempDir;

struct SpoiledApprovalStore : ::testing::Test
{
    TempDir Dir;
    ScopedEnvironment Config{"XDG_CONFIG_HOME", Dir.File("config")};
    std::string Setup = Dir.Write("war.tpf", "");
    const SecretDestination To{"smtp.example.org:587", "STARTTLS", "host"};
};

// As ssh does with its keys: a store that others could have written is not trusted, and says why.
TEST_F(SpoiledApprovalStore, AStoreOthersCouldChangeIsRefusedWithTheReason)
{
    const std::string folder = Dir.File("config") + "/turnpost";
    const std::string file = ApprovalFilePath();
    const struct
    {
        const char* name;
        void (*spoil)(const std::string& folder, const std::string& file);
        const char* reason;
    } cases[] = {
        {"folder writable by its group",
         [](const std::string& d, const std::string&) { ::chmod(d.c_str(), 0770); }, "writable by its group"},
        {"file writable by others",
         [](const std::string&, const std::string& f) { ::chmod(f.c_str(), 0602); }, "writable by others"},
        {"file owned by someone else",
         [](const std::string&, const std::string& f) { EXPECT_EQ(::chown(f.c_str(), 4242, 4242), 0); },
         "owned by user 4242"},
        {"file a symbolic link",
         [](const std::string&, const std::string& f) {
             const std::string real = f + ".real";
             ::rename(f.c_str(), real.c_str());
             EXPECT_EQ(::symlink(real.c_str(), f.c_str()), 0);
         },
         "symbolic link"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        ASSERT_TRUE(ApproveCommand(Setup, "pass show smtp", To, error)) << error;
        if (::geteuid() != 0 && std::string(c.name) == "file owned by someone else")
            continue; // only root can give a file away
        c.spoil(folder, file);
        const ApprovalLookup lookup = LookUpApproval(Setup, "pass show smtp", To);
        EXPECT_FALSE(lookup.Approved);
        EXPECT_NE(lookup.Error.find(c.reason), std::string::npos) << lookup.Error;
        EXPECT_FALSE(IsCommandApproved(Setup, "pass show smtp", To));
        EXPECT_FALSE(ApproveCommand(Setup, "pass show other", To, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        // Back to a store of this user's own for the next case.
        ::unlink(file.c_str());
        ::unlink((file + ".real").c_str());
        ::chmod(folder.c_str(), 0700);
    }
}

} // namespace
} // namespace turnpost
