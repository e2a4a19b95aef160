#include "send/TurnDone.h"

#include "send/TurnDeadline.h"
#include "support/GameFiles.h"
#include "support/RecordingUserInterface.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace turnpost {
namespace {

using namespace std::chrono_literals;
using test::GameFileBytes;
using test::GameFileFacts;
using test::TempDir;

const std::chrono::sys_seconds Now = *ParseAttemptTime("2026-12-10T12:00:00Z");

struct Game
{
    TempDir Dir;
    GameDocument Document;

    Game()
    {
        Document.FilePath = Dir.File("galaxy.tpf");
        Document.Setup.GameName = "Galaxy";
        Document.Setup.UniverseFile = test::WriteConsistentGame(Dir, "galaxy", 6);
        for (int n = 1; n <= 6; ++n)
            Document.Setup.Players[static_cast<std::size_t>(n - 1)] = {
                1, "p" + std::to_string(n) + "@example.org", ""};
    }

    void Orders(int number, std::uint16_t turn = 42) const { test::WriteOrders(Dir, "galaxy", number, turn); }

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
};

TEST(TurnDone, DoneWhenAllOrdersAreInOrTheDeadlinePassed)
{
    const struct
    {
        const char* Name;
        std::vector<int> In;
        std::vector<int> LastTurn;
        int DeadlineHours;
        std::optional<std::chrono::hours> MailedAgo;
        bool Done;
        std::vector<int> Missing;
        const char* Text;
    } cases[] = {
        {"nothing in",
         {},
         {},
         0,
         std::nullopt,
         false,
         {1, 2, 3, 4, 5, 6},
         "Waiting for players 1, 2, 3, 4, 5 and 6"},
        {"all in", {1, 2, 3, 4, 5, 6}, {}, 72, 100h, true, {}, "All orders for 2442 are in"},
        {"last turn's orders do not count",
         {1, 3, 4, 5, 6},
         {2},
         0,
         std::nullopt,
         false,
         {2},
         "Waiting for player 2"},
        {"deadline ahead",
         {1, 3, 4, 5},
         {},
         72,
         1h,
         false,
         {2, 6},
         "Waiting for players 2 and 6; deadline Sun 13 Dec 2026 11:00 UTC (2 days 23 hours left)"},
        {"deadline passed",
         {1, 3, 4, 5},
         {},
         72,
         75h,
         true,
         {2, 6},
         "The deadline passed (Thu 10 Dec 2026 09:00 UTC, passed 3 hours ago); missing: players 2 and 6"},
        {"deadline set, no turn mail yet",
         {1},
         {},
         72,
         std::nullopt,
         false,
         {2, 3, 4, 5, 6},
         "Waiting for players 2, 3, 4, 5 and 6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Game game;
        game.Document.Setup.TurnDeadlineHours = c.DeadlineHours;
        for (const int n : c.In)
            game.Orders(n);
        for (const int n : c.LastTurn)
            game.Orders(n, 41);
        if (c.MailedAgo)
            game.TurnMailed(*c.MailedAgo);
        const TurnDoneState state = GetTurnDone(game.Document, Now);
        ASSERT_EQ(state.Error, "");
        EXPECT_EQ(state.Done, c.Done);
        EXPECT_EQ(state.Year, 2442);
        EXPECT_EQ(state.Missing, c.Missing);
        EXPECT_EQ(TurnDoneText(state, Now), c.Text);
    }
}

TEST(TurnDone, CannotTellWithoutAHostFileOrWithoutTheLedgerThatHoldsTheDeadline)
{
    Game game;
    GameFileFacts busy;
    busy.FileType = 2;
    busy.PlayerIndex = 31;
    busy.Flags = 0x02;
    const std::string host = game.Dir.Write("galaxy.hst", GameFileBytes(busy));
    EXPECT_EQ(GetTurnDone(game.Document, Now).Error, host + " is in use");

    test::WriteConsistentGame(game.Dir, "galaxy", 6);
    std::filesystem::create_directory(game.Dir.File("galaxy.tpf.ledger"));
    EXPECT_EQ(GetTurnDone(game.Document, Now).Error, "");
    game.Document.Setup.TurnDeadlineHours = 10;
    EXPECT_NE(GetTurnDone(game.Document, Now).Error.find("galaxy.tpf.ledger cannot be read"),
              std::string::npos);
    // With every order in the deadline does not matter.
    for (int n = 1; n <= 6; ++n)
        game.Orders(n);
    EXPECT_TRUE(GetTurnDone(game.Document, Now).Done);
}

// The host hears once a year; a notice that did not go out is tried by the next check.
TEST(TurnDone, TheHostIsToldOncePerYearAndAgainAfterAFailure)
{
    test::SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    Game game;
    GameSetup& setup = game.Document.Setup;
    setup.ReturnAddress = "host@example.org";
    setup.ReportAddress = "Game Host <report@example.org>";
    setup.SmtpServer = "127.0.0.1:1";
    setup.TurnDeadlineHours = 72;
    game.TurnMailed(80h);
    for (const int n : {1, 3, 4, 5})
        game.Orders(n);
    test::RecordingUserInterface ui;

    const TurnDoneState state = GetTurnDone(game.Document, Now);
    ASSERT_TRUE(state.Done);
    NoticeOutcome notice = NotifyHostIfDone(game.Document, ui, state, Now);
    EXPECT_FALSE(notice.Sent);
    EXPECT_EQ(notice.Error.rfind("The host was not told that the turn is done: ", 0), 0u) << notice.Error;

    setup.SmtpServer = sink.Address();
    notice = NotifyHostIfDone(game.Document, ui, state, Now);
    EXPECT_TRUE(notice.Sent) << notice.Error;
    notice = NotifyHostIfDone(game.Document, ui, GetTurnDone(game.Document, Now), Now);
    EXPECT_FALSE(notice.Sent);
    EXPECT_EQ(notice.Error, "");

    const auto mails = test::ParseMails(sink.WaitForMessages(1));
    ASSERT_EQ(mails.size(), 1u);
    ASSERT_TRUE(mails[0].Ok) << mails[0].Error;
    EXPECT_EQ(mails[0].Subject, "Galaxy 2442: the deadline passed; missing: players 2 and 6");
    EXPECT_EQ(mails[0].To, std::vector<std::string>{"Game Host <report@example.org>"});
    EXPECT_NE(
        mails[0].Text.find(
            "The deadline passed (Thu 10 Dec 2026 04:00 UTC, passed 8 hours ago); missing: players 2 and 6"),
        std::string::npos)
        << mails[0].Text;

    const LedgerContents ledger = ReadLedger(game.Dir.File("galaxy.tpf.ledger"));
    ASSERT_EQ(ledger.Notices.size(), 2u);
    EXPECT_FALSE(ledger.Notices[0].Sent);
    EXPECT_TRUE(ledger.Notices[1].Sent);
    EXPECT_EQ(ledger.Notices[1].Text, "Galaxy 2442: the deadline passed; missing: players 2 and 6");
    EXPECT_TRUE(NoticeSentThisYear(ledger, 2442));
    EXPECT_FALSE(NoticeSentThisYear(ledger, 2443));
}

TEST(TurnDone, NoNoticeWhenTheSetupDoesNotAskOrTheTurnIsOpen)
{
    Game game;
    game.Document.Setup.ReportAddress = "report@example.org";
    game.Document.Setup.SmtpServer = "127.0.0.1:1";
    test::RecordingUserInterface ui;
    // Waiting: nothing to tell, so no connection is even tried.
    EXPECT_EQ(NotifyHostIfDone(game.Document, ui, GetTurnDone(game.Document, Now), Now).Error, "");
    for (int n = 1; n <= 6; ++n)
        game.Orders(n);
    game.Document.Setup.NotifyHostWhenDone = 0;
    EXPECT_EQ(NotifyHostIfDone(game.Document, ui, GetTurnDone(game.Document, Now), Now).Error, "");
    EXPECT_FALSE(std::filesystem::exists(game.Dir.File("galaxy.tpf.ledger")));
}

TEST(TurnDone, PlayersAreListedAsASentenceWants)
{
    EXPECT_EQ(PlayersText({7}), "player 7");
    EXPECT_EQ(PlayersText({2, 6}), "players 2 and 6");
    EXPECT_EQ(PlayersText({2, 5, 6}), "players 2, 5 and 6");
}

} // namespace
} // namespace turnpost
