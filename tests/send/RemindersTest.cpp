#include "send/Reminders.h"

#include "send/RunLock.h"
#include "send/TurnDeadline.h"
#include "send/TurnDone.h"
#include "support/GameFiles.h"
#include "support/RecordingUserInterface.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>

namespace turnpost {
namespace {

using namespace std::chrono_literals;
using test::GameFileBytes;
using test::GameFileFacts;
using test::RecordingUserInterface;
using test::SmtpSink;
using test::TempDir;

const std::chrono::sys_seconds Now = *ParseAttemptTime("2026-12-10T12:00:00Z");

/// A four-player game at 2442 with a saved setup beside it; the players' orders are written by the test.
struct Game
{
    TempDir Dir;
    GameDocument Document;

    explicit Game(const std::string& server)
    {
        Document.FilePath = Dir.File("galaxy.tpf");
        GameSetup& setup = Document.Setup;
        setup.GameName = "Galaxy";
        setup.UniverseFile = test::WriteConsistentGame(Dir, "galaxy", 4);
        setup.SmtpServer = server;
        setup.ReturnAddress = "host@example.org";
        for (int n = 1; n <= 4; ++n)
            setup.Players[static_cast<std::size_t>(n - 1)] = {1, "p" + std::to_string(n) + "@example.org",
                                                              ""};
    }

    void Orders(int number, std::uint16_t turn = 42) const { test::WriteOrders(Dir, "galaxy", number, turn); }

    /// A turn mail of this year delivered that long before Now, which starts the deadline.
    void TurnMailed(std::chrono::seconds ago) const
    {
        PlayerAttempt attempt;
        attempt.Time = LedgerTime(Now - ago);
        attempt.Year = 2442;
        attempt.Player = 1;
        attempt.Address = "p1@example.org";
        attempt.Result = "[Player 1] Sent OK";
        attempt.Sent = true;
        Dir.Write("galaxy.tpf.ledger", AttemptToJson(attempt) + "\n");
    }

    RemindOutcome Remind(bool force = false)
    {
        RecordingUserInterface ui;
        return OnRemind(Document, ui, {Now, force});
    }
};

std::set<int> Reminded(const RemindOutcome& outcome)
{
    std::set<int> numbers;
    for (const ReminderRecord& reminder : outcome.Reminders)
        if (reminder.Sent)
            numbers.insert(reminder.Player);
    return numbers;
}

TEST(Reminders, OnlyPlayersWithoutThisTurnsOrdersAreRemindedWhenDue)
{
    SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    const struct
    {
        const char* Name;
        std::set<int> In;
        std::set<int> LastTurn; ///< orders there, but for the turn before
        int DeadlineHours;
        std::optional<std::chrono::hours> MailedAgo;
        std::set<int> Reminded;
        bool NotDue;
    } cases[] = {
        {"nothing in, no deadline", {}, {}, 0, std::nullopt, {1, 2, 3, 4}, false},
        {"some in", {1, 3}, {}, 0, 1h, {2, 4}, false},
        {"all in", {1, 2, 3, 4}, {}, 0, std::nullopt, {}, false},
        {"last turn's orders", {1}, {2}, 0, std::nullopt, {2, 3, 4}, false},
        {"deadline far off", {}, {}, 72, 1h, {}, true},
        {"deadline within the lead time", {1}, {}, 72, 60h, {2, 3, 4}, false},
        {"deadline passed", {1, 2}, {}, 72, 100h, {3, 4}, false},
        {"deadline not begun: no turn mail yet", {}, {}, 72, std::nullopt, {}, true},
    };
    std::size_t mails = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Game game(sink.Address());
        game.Document.Setup.TurnDeadlineHours = c.DeadlineHours;
        for (const int n : c.In)
            game.Orders(n);
        for (const int n : c.LastTurn)
            game.Orders(n, 41);
        if (c.MailedAgo)
            game.TurnMailed(*c.MailedAgo);

        const RemindOutcome outcome = game.Remind();
        EXPECT_TRUE(outcome.Succeeded()) << outcome.Error;
        EXPECT_EQ(Reminded(outcome), c.Reminded);
        EXPECT_EQ(!outcome.NotDue.empty(), c.NotDue) << outcome.NotDue;
        if (c.NotDue) {
            EXPECT_TRUE(outcome.Lines.empty());
            continue;
        }
        ASSERT_EQ(outcome.Lines.size(), 4u);
        for (int n = 1; n <= 4; ++n) {
            const std::string& line = outcome.Lines[static_cast<std::size_t>(n - 1)];
            EXPECT_EQ(line,
                      "[Player " + std::to_string(n) + "] " +
                          (c.In.count(n) ? "orders in" : "reminded p" + std::to_string(n) + "@example.org"));
        }
        mails += c.Reminded.size();
    }
    EXPECT_EQ(sink.WaitForMessages(mails).size(), mails);
}

TEST(Reminders, SaysWhenTheyAreDue)
{
    Game game("127.0.0.1:1");
    game.Document.Setup.TurnDeadlineHours = 72;
    game.TurnMailed(1h);
    EXPECT_EQ(game.Remind().NotDue,
              "Reminders not due yet: the deadline is Sun 13 Dec 2026 11:00 UTC (2 days 23 hours left)");
}

// Each player once a year; --force reminds again, and a reminder that failed is tried by the next run.
TEST(Reminders, OncePerYearUnlessForcedAndFailuresAreRetried)
{
    SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    Game game(sink.Address());
    game.Orders(1);
    game.Document.Setup.Players[3].EmailAddress = "not an address";

    RemindOutcome first = game.Remind();
    EXPECT_FALSE(first.Succeeded());
    EXPECT_EQ(first.Failed, 1);
    EXPECT_EQ(Reminded(first), (std::set<int>{2, 3}));
    EXPECT_EQ(first.Lines[3].rfind("[Player 4] not sent: ", 0), 0u) << first.Lines[3];

    game.Document.Setup.Players[3].EmailAddress = "p4@example.org";
    const RemindOutcome second = game.Remind();
    EXPECT_TRUE(second.Succeeded()) << second.Error;
    EXPECT_EQ(Reminded(second), (std::set<int>{4}));
    EXPECT_EQ(second.Lines[1], "[Player 2] already reminded this year");
    EXPECT_EQ(second.Lines[2], "[Player 3] already reminded this year");

    const RemindOutcome forced = game.Remind(true);
    EXPECT_EQ(Reminded(forced), (std::set<int>{2, 3, 4}));
    EXPECT_EQ(sink.WaitForMessages(6).size(), 6u);

    const LedgerContents ledger = ReadLedger(game.Dir.File("galaxy.tpf.ledger"));
    EXPECT_TRUE(ledger.Warnings.empty());
    EXPECT_EQ(ledger.Reminders.size(), 7u); // the failed one included
    EXPECT_EQ(RemindedPlayers(ledger, 2442), (std::array<bool, PlayerCount>{false, true, true, true}));
    EXPECT_EQ(RemindedPlayers(ledger, 2443), (std::array<bool, PlayerCount>{}));
}

TEST(Reminders, TheMailNamesTheGameTheYearAndTheDeadline)
{
    SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    Game game(sink.Address());
    game.Orders(1);
    game.Orders(2);
    game.Orders(3);
    game.Document.Setup.Players[3].EmailAddress = "Fourth Player <p4@example.org>";
    game.Document.Setup.TurnDeadlineHours = 30;
    game.TurnMailed(10h);
    ASSERT_TRUE(game.Remind().Succeeded());

    Game plain(sink.Address());
    plain.Orders(1);
    plain.Orders(2);
    plain.Orders(3);
    ASSERT_TRUE(plain.Remind().Succeeded());

    auto mails = test::ParseMails(sink.WaitForMessages(2));
    ASSERT_EQ(mails.size(), 2u);
    for (const auto& mail : mails) {
        ASSERT_TRUE(mail.Ok) << mail.Error;
        EXPECT_EQ(mail.Subject, "Galaxy: your orders for 2442 are not in yet");
        EXPECT_TRUE(mail.Defects.empty());
    }
    // The sink's order is not the order of sending.
    if (mails[0].To != std::vector<std::string>{"Fourth Player <p4@example.org>"})
        std::swap(mails[0], mails[1]);
    EXPECT_EQ(mails[0].To, std::vector<std::string>{"Fourth Player <p4@example.org>"});
    EXPECT_EQ(mails[0].EnvelopeTo, std::vector<std::string>{"<p4@example.org>"});
    EXPECT_NE(mails[0].Text.find("The deadline is Fri 11 Dec 2026 08:00 UTC."), std::string::npos)
        << mails[0].Text;
    // Without a deadline its line goes, rather than reading "The deadline is .".
    EXPECT_EQ(mails[1].Text.find("deadline"), std::string::npos) << mails[1].Text;
    EXPECT_NE(mails[1].Text.find("Your orders for Galaxy, year 2442, have not reached the host yet."),
              std::string::npos)
        << mails[1].Text;
}

// Nobody is reminded when the orders cannot be judged or another run holds the setup.
TEST(Reminders, NothingIsSentWhenTheHostFileOrTheLockStopsTheRun)
{
    Game game("127.0.0.1:1");
    GameFileFacts busy;
    busy.FileType = 2;
    busy.PlayerIndex = 31;
    busy.Flags = 0x02;
    const std::string host = game.Dir.Write("galaxy.hst", GameFileBytes(busy));
    RemindOutcome outcome = game.Remind();
    EXPECT_EQ(outcome.Error, "Nobody reminded: " + host + " is in use");
    EXPECT_TRUE(outcome.Lines.empty());

    std::remove(host.c_str());
    outcome = game.Remind();
    EXPECT_EQ(outcome.Error.rfind("Nobody reminded: " + host + " cannot be read (", 0), 0u) << outcome.Error;

    test::WriteConsistentGame(game.Dir, "galaxy", 4);
    // A folder in the ledger's place: who was reminded cannot be told.
    std::filesystem::create_directory(game.Dir.File("galaxy.tpf.ledger"));
    outcome = game.Remind();
    EXPECT_EQ(
        outcome.Error.rfind("Nobody reminded: " + game.Dir.File("galaxy.tpf.ledger") + " cannot be read", 0),
        0u)
        << outcome.Error;
    std::filesystem::remove(game.Dir.File("galaxy.tpf.ledger"));

    CRunLock other;
    ASSERT_EQ(other.Take(game.Document), CRunLock::Result::Locked);
    outcome = game.Remind();
    EXPECT_EQ(outcome.Error, game.Document.FilePath + " is being sent by another run");
    EXPECT_FALSE(std::filesystem::exists(game.Dir.File("galaxy.tpf.ledger")));
}

} // namespace
} // namespace turnpost
