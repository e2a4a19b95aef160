#include "send/SmtpPassword.h"
#include "support/RecordingUserInterface.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

using namespace turnpost;
using namespace turnpost::test;

namespace {

GameSetup SetupWith(const std::string& command)
{
    GameSetup setup;
    setup.SmtpServer = "smtp.example.org:587";
    setup.SmtpUser = "alice";
    setup.SmtpPasswordCommand = command;
    return setup;
}

} // namespace

TEST(ObtainSmtpPassword, EnvironmentComesFirst)
{
    ScopedEnvironment password("TURNPOST_SMTP_PASSWORD", "from environment");
    RecordingUserInterface ui;
    ui.Passwords.push_back("from dialog");
    std::string error;
    EXPECT_EQ(ObtainSmtpPassword(SetupWith("echo from command"), ui, error), "from environment");
    EXPECT_TRUE(ui.PasswordAccounts.empty());
}

TEST(ObtainSmtpPassword, CommandGivesItsFirstLineOrANamedFailure)
{
    struct Case
    {
        const char* command;
        std::optional<std::string> password;
        const char* error;
    };
    const Case cases[] = {
        {"printf 'secret\\n'", "secret", ""},
        {"printf 'first\\r\\nsecond\\n'", "first", ""},
        {"printf 'no line end'", "no line end", ""},
        {"printf ' spaces kept \\n'", " spaces kept ", ""},
        // More output than a pipe holds must not leave the command blocked.
        {"yes | head -c 1000000", "y", ""},
        {"exit 3", std::nullopt, "Password command failed: exit 3 (exit status 3)"},
        {"echo secret; false", std::nullopt, "Password command failed: echo secret; false (exit status 1)"},
        {"/nonexistent/helper", std::nullopt,
         "Password command failed: /nonexistent/helper (exit status 127)"},
        {"kill -9 $$", std::nullopt, "Password command failed: kill -9 $$ (killed by signal 9)"},
        {"true", std::nullopt, "Password command gave no password: true"},
    };
    // An empty variable counts as unset.
    ScopedEnvironment password("TURNPOST_SMTP_PASSWORD", "");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        RecordingUserInterface ui;
        ui.Passwords.push_back("from dialog");
        std::string error;
        EXPECT_EQ(ObtainSmtpPassword(SetupWith(c.command), ui, error), c.password);
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(ui.PasswordAccounts.empty()) << "a failing command must not fall back to asking";
    }
}

TEST(ObtainSmtpPassword, AsksTheUserLastAndNamesTheAccount)
{
    ScopedEnvironment password("TURNPOST_SMTP_PASSWORD", std::nullopt);
    RecordingUserInterface ui;
    ui.Passwords.push_back("typed");
    ui.Passwords.push_back(std::nullopt);
    std::string error;
    EXPECT_EQ(ObtainSmtpPassword(SetupWith(""), ui, error), "typed");
    EXPECT_EQ(ObtainSmtpPassword(SetupWith(""), ui, error), std::nullopt);
    EXPECT_EQ(error, "No password given for alice");
    EXPECT_EQ(ui.PasswordAccounts,
              (std::vector<std::string>{"alice@smtp.example.org:587", "alice@smtp.example.org:587"}));
}
