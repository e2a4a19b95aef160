#include "send/TurnDeadline.h"
#include "send/DeliveryLedger.h"
#include "send/Placeholders.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace turnpost {
namespace {

using namespace std::chrono;
using test::TempDir;

sys_seconds At(const char* time)
{
    const auto parsed = ParseAttemptTime(time);
    EXPECT_TRUE(parsed) << time;
    return parsed.value_or(sys_seconds{});
}

PlayerAttempt Attempt(const char* time, std::uint16_t year, bool sent, int player = 1)
{
    PlayerAttempt attempt;
    attempt.Time = time;
    attempt.Year = year;
    attempt.Player = player;
    attempt.Sent = sent;
    attempt.Result = sent ? "[Player 1] sent" : "[Player 1] failed";
    return attempt;
}

TEST(TurnDeadline, OpensWithTheFirstDeliveredMailOfTheYear)
{
    struct Case
    {
        const char* name;
        std::int32_t hours;
        std::vector<PlayerAttempt> attempts;
        const char* now;
        std::optional<std::string> expected; // "deadline (time left)"; nullopt: no deadline
    };
    const Case cases[] = {
        {"no deadline set",
         0,
         {Attempt("2026-12-12T13:00:00Z", 2405, true)},
         "2026-12-12T14:00:00Z",
         std::nullopt},
        {"no mail this year", 48, {}, "2026-12-12T14:00:00Z", std::nullopt},
        {"ahead",
         53,
         {Attempt("2026-12-12T13:00:00Z", 2405, true)},
         "2026-12-12T13:00:00Z",
         "Mon 14 Dec 2026 18:00 UTC (2 days 5 hours left)"},
        {"passed",
         24,
         {Attempt("2026-12-12T13:00:00Z", 2405, true)},
         "2026-12-13T16:30:00Z",
         "Sun 13 Dec 2026 13:00 UTC (passed 3 hours ago)"},
        {"the earliest of several attempts counts",
         1,
         {Attempt("2026-12-12T13:00:00Z", 2405, true, 2), Attempt("2026-12-12T12:00:00Z", 2405, true, 1),
          Attempt("2026-12-12T14:00:00Z", 2405, true, 3)},
         "2026-12-12T12:59:00Z",
         "Sat 12 Dec 2026 13:00 UTC (1 minute left)"},
        {"a failed attempt does not open the turn",
         1,
         {Attempt("2026-12-12T10:00:00Z", 2405, false), Attempt("2026-12-12T12:00:00Z", 2405, true)},
         "2026-12-12T12:00:00Z",
         "Sat 12 Dec 2026 13:00 UTC (1 hour left)"},
        {"only failed attempts",
         1,
         {Attempt("2026-12-12T10:00:00Z", 2405, false)},
         "2026-12-12T12:00:00Z",
         std::nullopt},
        {"last year's mail does not count",
         24,
         {Attempt("2026-12-01T10:00:00Z", 2404, true), Attempt("2026-12-08T09:15:00Z", 2405, true)},
         "2026-12-08T09:15:00Z",
         "Wed 9 Dec 2026 09:15 UTC (1 day left)"},
        {"negative hours are no deadline",
         -5,
         {Attempt("2026-12-12T13:00:00Z", 2405, true)},
         "2026-12-12T13:00:00Z",
         std::nullopt},
        {"absurd hours are no deadline",
         MaxTurnDeadlineHours + 1,
         {Attempt("2026-12-12T13:00:00Z", 2405, true)},
         "2026-12-12T13:00:00Z",
         std::nullopt},
        {"an unreadable time is skipped",
         2,
         {Attempt("2026-12-12T0:00:00Z", 2405, true), Attempt("2026-02-30T10:00:00Z", 2405, true),
          Attempt("2026-12-12T10:00:00Z", 2405, true)},
         "2026-12-12T10:00:00Z",
         "Sat 12 Dec 2026 12:00 UTC (2 hours left)"},
    };
    for (const Case& c : cases) {
        GameSetup setup;
        setup.TurnDeadlineHours = c.hours;
        LedgerContents ledger;
        ledger.Attempts = c.attempts;
        const auto deadline = GetTurnDeadline(setup, ledger, 2405);
        if (!c.expected) {
            EXPECT_FALSE(deadline) << c.name;
            continue;
        }
        ASSERT_TRUE(deadline) << c.name;
        EXPECT_EQ(FormatDeadline(*deadline) + " (" + TimeLeftText(*deadline, At(c.now)) + ")", *c.expected)
            << c.name;
    }
}

TEST(TurnDeadline, DeadlineExpandsInATemplate)
{
    TempDir dir;
    GameDocument document;
    document.Setup.GameName = "Alpha";
    document.Setup.UniverseFile = dir.File("game.xy");
    document.FilePath = dir.File("game.tpf");
    // Host file of turn 5: the year is 2405.
    std::string host(18, '\x5a');
    host[12] = 5;
    host[13] = 0;
    dir.Write("game.hst", host);

    EXPECT_EQ(ExpandPlaceholders("%G due [%D]", document), "Alpha due []"); // no deadline set
    document.Setup.TurnDeadlineHours = 53;
    EXPECT_EQ(ExpandPlaceholders("%G due [%D]", document), "Alpha due []"); // no ledger yet

    dir.Write("game.tpf.ledger", AttemptToJson(Attempt("2026-12-12T13:00:00Z", 2404, true)) + "\n" +
                                     AttemptToJson(Attempt("2026-12-12T13:00:00Z", 2405, true)) + "\n");
    EXPECT_EQ(ExpandPlaceholders("%G due %D", document), "Alpha due Mon 14 Dec 2026 18:00 UTC");
    // A name holding the code is expanded by the later pass, as with the other codes.
    document.Setup.GameName = "%D!";
    EXPECT_EQ(ExpandPlaceholders("%G", document), "Mon 14 Dec 2026 18:00 UTC!");
}

} // namespace
} // namespace turnpost
