#include "send/DeliveryKey.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

TEST(DeliveryKey, WhatMakesAnAttemptTheSameMail)
{
    DeliveryKey withFile;
    withFile.Address = "p1@example.org";
    withFile.TurnFile = AttachedFile{"/g/g.m1", 30, "aa"};
    withFile.GameId = 7;
    withFile.Turn = 42;
    withFile.Year = 2442;
    DeliveryKey noFile = withFile;
    noFile.TurnFile.reset();

    PlayerAttempt same;
    same.Address = "p1@example.org";
    same.Files = {{"/g/g.xy", 20, "uu"}, {"/elsewhere/g.m1", 30, "aa"}};
    same.GameId = 7;
    same.Turn = 42;
    same.Year = 2442;
    const auto but = [&](auto change) {
        PlayerAttempt attempt = same;
        change(attempt);
        return attempt;
    };
    struct Case
    {
        const char* name;
        PlayerAttempt attempt;
        bool withFile, noFile;
    };
    const Case cases[] = {
        {"the same", same, true, true},
        {"another year, same file", but([](auto& a) { a.Year = 0; }), true, false},
        {"another address", but([](auto& a) { a.Address = "p1@example.net"; }), false, false},
        {"another game", but([](auto& a) { a.GameId = 8; }), false, false},
        {"another turn", but([](auto& a) { a.Turn = 41; }), false, true},
        {"another digest", but([](auto& a) { a.Files[1].Sha256 = "ab"; }), false, true},
        {"another size", but([](auto& a) { a.Files[1].Size = 31; }), false, true},
        {"no turn file", but([](auto& a) { a.Files.pop_back(); }), false, true},
        {"an older line without game and turn", but([](auto& a) { a.GameId.reset(), a.Turn.reset(); }), true,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(withFile.Matches(c.attempt), c.withFile);
        EXPECT_EQ(noFile.Matches(c.attempt), c.noFile);
    }
    // A turn file that cannot be read now matches nothing, not even an attempt that could not read it.
    DeliveryKey unreadable = withFile;
    unreadable.TurnFile->Sha256.clear();
    EXPECT_FALSE(unreadable.Matches(but([](auto& a) { a.Files[1].Sha256.clear(); })));
}

TEST(DeliveryKey, ADeliveryIsNotUndoneByALaterFailureOfTheSameMail)
{
    std::array<DeliveryKey, PlayerCount> keys;
    keys[0].Address = "p1@example.org";
    LedgerContents ledger;
    for (const bool sent : {false, true, false}) {
        PlayerAttempt attempt;
        attempt.Player = 1;
        attempt.Address = "p1@example.org";
        attempt.Sent = sent;
        attempt.Result = sent ? "ok" : "failed";
        ledger.Attempts.push_back(attempt);
    }
    const auto verdicts = JudgeDeliveries(ledger, keys);
    EXPECT_TRUE(verdicts[0].Delivered);
    ASSERT_TRUE(verdicts[0].Last);
    EXPECT_EQ(verdicts[0].Last->Result, "ok");
    EXPECT_FALSE(verdicts[1].Delivered);
    EXPECT_FALSE(verdicts[1].Last);
}

} // namespace
} // namespace turnpost
