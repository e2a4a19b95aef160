// Where the turn stands, as the window shows it: the year, whose orders are in, each player's last turn
// mail of the year, and the deadline measured from an injected clock.
#include "send/TurnBoard.h"
#include "game/OrderFiles.h"
#include "send/DeliveryLedger.h"
#include "send/TurnDeadline.h"
#include "support/GameFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::TempDir;

std::string Line(int player, std::uint16_t year, const char* time, bool sent, const char* result)
{
    PlayerAttempt attempt;
    attempt.Time = time;
    attempt.Year = year;
    attempt.Player = player;
    attempt.Address = "p@example.org";
    attempt.Result = result;
    attempt.Sent = sent;
    return AttemptToJson(attempt) + "\n";
}

std::chrono::sys_seconds At(const char* time)
{
    return *ParseAttemptTime(time);
}

TEST(TurnBoardTest, CountsSelectedOrdersTakesTheYearsLastMailAndMeasuresTheDeadline)
{
    TempDir dir;
    GameDocument document;
    document.FilePath = dir.File("game.tpf");
    GameSetup& setup = document.Setup;
    setup.UniverseFile = test::WriteConsistentGame(dir, "game", 3); // host file at 2442
    setup.TurnDeadlineHours = 48;
    for (int i = 0; i < 3; ++i)
        setup.Players[static_cast<std::size_t>(i)] = {1, "p@example.org", ""};
    test::WriteOrders(dir, "game", 1);
    test::WriteOrders(dir, "game", 4); // a player nobody ticked: not counted among the selected
    dir.Write(
        "game.tpf.ledger",
        Line(1, 2441, "2026-12-01T10:00:00Z", true, "[Player 1] last year's") +
            Line(1, 2442, "2026-12-08T18:00:00Z", true, "[Player 1] sent to p@example.org") +
            Line(2, 2442, "2026-12-08T18:00:05Z", true, "[Player 2] sent") +
            Line(2, 2442, "2026-12-09T09:00:00Z", false, "[Player 2] not sent: 452 full\x1b[2J") +
            ReminderToJson({"2026-12-09T17:00:00Z", 2442, 3, "p@example.org", "[Player 3] reminded", true}) +
            "\n" +
            ReminderToJson({"2026-12-01T17:00:00Z", 2441, 2, "p@example.org", "[Player 2] reminded", true}) +
            "\n");

    const TurnBoard board =
        GetTurnBoard(document, FindOrdersInFolder(setup.UniverseFile), At("2026-12-09T18:00:00Z"));
    EXPECT_EQ(board.Summary(), "2442: orders in 1 of 3; deadline Thu 10 Dec 2026 18:00 UTC (1 day left)");
    EXPECT_TRUE(board.Players[0].OrdersIn);
    EXPECT_EQ(board.Players[0].Mail, "[Player 1] sent to p@example.org");
    EXPECT_TRUE(board.Players[0].Mailed);
    // The later line wins, and what came from outside reaches the window made safe.
    EXPECT_FALSE(board.Players[1].Mailed);
    EXPECT_EQ(board.Players[1].Mail, "[Player 2] not sent: 452 full?[2J");
    EXPECT_TRUE(board.Players[2].Mail.empty());
    // Reminded this year, not last year.
    EXPECT_TRUE(board.Players[2].Reminded);
    EXPECT_FALSE(board.Players[1].Reminded);
    EXPECT_EQ(board.Text(), board.Summary() + "\n[Player 1] orders in; turn mail: sent to p@example.org\n"
                                              "[Player 2] no orders yet; turn mail: not sent: 452 full?[2J\n"
                                              "[Player 3] no orders yet; no turn mail yet; reminded\n");
    EXPECT_TRUE(board.Players[3].OrdersIn);
    EXPECT_FALSE(board.Players[3].Selected);
}

TEST(TurnBoardTest, SaysNothingWithoutAHostFileAndNoDeadlineWithoutOne)
{
    TempDir dir;
    GameDocument document;
    document.FilePath = dir.File("game.tpf");
    document.Setup.UniverseFile = dir.File("missing.xy");
    const auto now = At("2026-12-09T18:00:00Z");
    EXPECT_EQ(GetTurnBoard(document, FindOrdersInFolder(document.Setup.UniverseFile), now).Summary(), "");

    document.Setup.UniverseFile = test::WriteConsistentGame(dir, "game", 1);
    document.Setup.Players[0] = {1, "p@example.org", ""};
    EXPECT_EQ(GetTurnBoard(document, FindOrdersInFolder(document.Setup.UniverseFile), now).Summary(),
              "2442: orders in 0 of 1");
}

} // namespace
} // namespace turnpost
