#include "send/DeliveryLedger.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::ReadFileBytes;
using test::TempDir;

PlayerAttempt Attempt(int player, bool sent, std::uint16_t year = 2442)
{
    PlayerAttempt attempt;
    attempt.Time = "2026-12-10T14:00:0" + std::to_string(player) + "Z";
    attempt.Year = year;
    attempt.Player = player;
    attempt.Address = "p" + std::to_string(player) + "@example.org";
    attempt.Files = {{"/g/game.xy", 40, std::string(64, 'a')}, {"/g/game.m1", 30, std::string(64, 'b')}};
    attempt.Result = "[Player " + std::to_string(player) + "] " + (sent ? "Sent OK" : "** ERROR: 550 no");
    attempt.Sent = sent;
    attempt.Reply = sent ? "250 2.0.0 Ok: queued as 4XyZ" : "";
    return attempt;
}

GameDocument Saved(const TempDir& dir)
{
    GameDocument document;
    document.FilePath = dir.File("game.tpf");
    return document;
}

TEST(DeliveryLedger, KeepsEveryAttemptAndTheRunAndReadsThemBack)
{
    TempDir dir;
    const GameDocument document = Saved(dir);
    {
        CDeliveryLedger ledger(document);
        ledger.Record(Attempt(1, true));
        ledger.Record(Attempt(2, false));
        ledger.Finish({"2026-12-10T14:00:09Z", 2442, "send", 2, 1, false, ""});
        EXPECT_EQ(ledger.Error(), "");
    }
    const LedgerContents contents = ReadLedger(dir.File("game.tpf.ledger"));
    ASSERT_TRUE(contents.Found);
    ASSERT_EQ(contents.Attempts.size(), 2u);
    const PlayerAttempt& first = contents.Attempts[0];
    EXPECT_EQ(first.Player, 1);
    EXPECT_EQ(first.Address, "p1@example.org");
    ASSERT_EQ(first.Files.size(), 2u);
    EXPECT_EQ(first.Files[1].Path, "/g/game.m1");
    EXPECT_EQ(first.Files[1].Size, 30u);
    EXPECT_EQ(first.Reply, "250 2.0.0 Ok: queued as 4XyZ");
    ASSERT_EQ(contents.Runs.size(), 1u);
    EXPECT_EQ(contents.Runs[0].Sent, 1);
    EXPECT_TRUE(contents.Warnings.empty());
}

TEST(DeliveryLedger, ATornLastLineIsSkippedAndTheNextRunStartsAFreshLine)
{
    TempDir dir;
    const GameDocument document = Saved(dir);
    const std::string whole = AttemptToJson(Attempt(1, true)) + "\n";
    const std::string torn = AttemptToJson(Attempt(2, true)).substr(0, 50);
    dir.Write("game.tpf.ledger", whole + torn);
    {
        CDeliveryLedger ledger(document);
        ledger.Record(Attempt(3, true));
        ledger.Finish({"2026-12-10T14:00:09Z", 2442, "send", 1, 1, false, ""});
    }
    // What was there is kept byte for byte; only whole lines follow it.
    const std::string text = ReadFileBytes(dir.File("game.tpf.ledger"));
    EXPECT_EQ(text.substr(0, whole.size() + torn.size() + 1), whole + torn + "\n");

    const LedgerContents contents = ReadLedger(dir.File("game.tpf.ledger"));
    ASSERT_EQ(contents.Attempts.size(), 2u);
    EXPECT_EQ(contents.Attempts[0].Player, 1);
    EXPECT_EQ(contents.Attempts[1].Player, 3);
    ASSERT_EQ(contents.Warnings.size(), 1u);
    EXPECT_EQ(contents.Warnings[0], dir.File("game.tpf.ledger") + ":2: not a ledger record, skipped");

    // Lines that parse but are not records are skipped the same way.
    dir.Write("other.ledger", "{\"kind\": \"player\", \"player\": 40}\n[1,2]\n\n" + whole);
    const LedgerContents other = ReadLedger(dir.File("other.ledger"));
    EXPECT_EQ(other.Attempts.size(), 1u);
    EXPECT_EQ(other.Warnings.size(), 2u);
}

TEST(DeliveryLedger, AnUntitledSetupKeepsNone)
{
    GameDocument document;
    EXPECT_EQ(LedgerPath(document), "");
    CDeliveryLedger ledger(document);
    ledger.Record(Attempt(1, true));
    ledger.Finish({});
    EXPECT_EQ(ledger.Error(), "");
    EXPECT_FALSE(ReadLedger(LedgerPath(document)).Found);
}

TEST(DeliveryLedger, AFolderThatCannotBeWrittenIsReported)
{
    GameDocument document;
    document.FilePath = "/nonexistent-folder/game.tpf";
    CDeliveryLedger ledger(document);
    ledger.Record(Attempt(1, true));
    EXPECT_NE(ledger.Error().find("/nonexistent-folder/game.tpf.ledger: "), std::string::npos);
}

} // namespace
} // namespace turnpost
