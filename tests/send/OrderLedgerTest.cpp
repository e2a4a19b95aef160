#include "send/DeliveryLedger.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::TempDir;

TEST(OrderLedger, OrderLinesGoInBesideTheSendRecords)
{
    TempDir dir;
    GameDocument document;
    document.FilePath = dir.File("game.tpf");
    OrderRecord order;
    order.Time = "2026-12-10T14:00:01Z";
    order.Year = 2442;
    order.Player = 7;
    order.File = "galaxy.x7";
    order.Size = 1234;
    order.Sha256 = std::string(64, 'f');
    order.Sender = "p7@example.org";
    order.MessageId = "abc@example.org";
    order.Result = "refused";
    order.Reason = "for turn 2441, the current turn is 2442";
    {
        CDeliveryLedger ledger(document);
        PlayerAttempt attempt;
        attempt.Time = order.Time;
        attempt.Year = 2442;
        attempt.Player = 1;
        attempt.Address = "p1@example.org";
        attempt.Result = "[Player 1] Sent OK";
        attempt.Sent = true;
        ledger.Record(attempt);
        ledger.RecordOrder(order);
        ledger.Finish(RunRecord{order.Time, 2442, "send", 1, 1, false, {}});
        ASSERT_TRUE(ledger.Error().empty()) << ledger.Error();
    }
    const LedgerContents contents = ReadLedger(LedgerPath(document));
    EXPECT_TRUE(contents.Warnings.empty()) << contents.Warnings[0];
    EXPECT_EQ(contents.Attempts.size(), 1u);
    EXPECT_EQ(contents.Runs.size(), 1u);
    ASSERT_EQ(contents.Orders.size(), 1u);
    const OrderRecord& read = contents.Orders[0];
    EXPECT_EQ(OrderToJson(read), OrderToJson(order));
    EXPECT_NE(OrderToJson(order).find(R"("kind":"order")"), std::string::npos);
}

TEST(OrderLedger, DamagedOrderLinesAreSkipped)
{
    const std::string good = R"({"kind":"order","time":"t","year":2442,"player":7,"file":"g.x7","size":3,)"
                             R"("sha256":"ab","sender":"a@b","message-id":"m","result":"taken","reason":""})";
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string line = good;
        line.replace(line.find(from), from.size(), to);
        return line;
    };
    struct Case
    {
        std::string Line;
        const char* Warning; ///< empty: the line is read
    };
    const Case cases[] = {
        {good, ""},
        {with(R"("player":7)", R"("player":0)"), ""}, // a file that named no player
        {with(R"("player":7)", R"("player":17)"), "player out of range"},
        {with(R"("size":3)", R"("size":-3)"), "size out of range"},
        {with(R"("result":"taken",)", ""), "not a ledger record"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Line);
        const LedgerContents contents = ParseLedger(c.Line + "\n", "L");
        if (std::string(c.Warning).empty()) {
            EXPECT_TRUE(contents.Warnings.empty());
            EXPECT_EQ(contents.Orders.size(), 1u);
        } else {
            ASSERT_EQ(contents.Warnings.size(), 1u);
            EXPECT_EQ(contents.Warnings[0], "L:1: " + std::string(c.Warning) + ", skipped");
            EXPECT_TRUE(contents.Orders.empty());
        }
    }
}

} // namespace
} // namespace turnpost
