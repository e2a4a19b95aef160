#include "game/OrderCheck.h"

#include "support/GameFiles.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::GameFileBytes;
using test::GameFileFacts;

// Orders of player 3 (index 2) for the host file's game and turn 42; each case changes one thing.
TEST(OrderCheck, TakesOnlyThisTurnsOrdersOfThePlayerTheNameSays)
{
    struct Case
    {
        const char* name;
        GameFileFacts file;
        GameFileFacts host;
        std::string bytes; // used instead of the file's facts when not empty
        OrderCheck::Verdict verdict;
        int player;
        std::string reason;
    };
    GameFileFacts orders;
    orders.FileType = 1;
    orders.PlayerIndex = 2;
    GameFileFacts host;
    host.FileType = 2;
    host.PlayerIndex = 31;
    const auto with = [](GameFileFacts facts, auto change) {
        change(facts);
        return facts;
    };
    const std::string notOrders = "this is not an order file";
    const Case cases[] = {
        {"galaxy.x3", orders, host, "", OrderCheck::Accepted, 2, ""},
        {"/mail/in/GALAXY.X3", orders, host, "", OrderCheck::Accepted, 2, ""},
        {"orders-from-carol", orders, host, "", OrderCheck::Accepted, 2, ""},
        {"galaxy.xy", orders, host, "", OrderCheck::Accepted, 2, ""}, // no number in the name
        {"galaxy.x7", orders, host, "", OrderCheck::OtherPlayer, 2, "for player 3, but named galaxy.x7"},
        {"/in/galaxy.x03", orders, host, "", OrderCheck::OtherPlayer, 2,
         "for player 3, but named galaxy.x03"},
        {"galaxy.x99999999999999999999", orders, host, "", OrderCheck::OtherPlayer, 2,
         "for player 3, but named galaxy.x99999999999999999999"},
        {"galaxy.x3", with(orders, [](auto& f) { f.GameId = 77; }), host, "", OrderCheck::OtherGame, 2,
         "this order file is for another game"},
        {"galaxy.x3", with(orders, [](auto& f) { f.Turn = 41; }), host, "", OrderCheck::OtherTurn, 2,
         "for turn 2441, the current turn is 2442"},
        {"galaxy.x3", with(orders, [](auto& f) { f.Turn = 43; }), host, "", OrderCheck::OtherTurn, 2,
         "for turn 2443, the current turn is 2442"},
        // Another game is said first: its turn means nothing here.
        {"galaxy.x7",
         with(orders,
              [](auto& f) {
                  f.GameId = 77;
                  f.Turn = 3;
              }),
         host, "", OrderCheck::OtherGame, 2, "this order file is for another game"},
        {"galaxy.x3", with(orders, [](auto& f) { f.FileType = 3; }), host, "", OrderCheck::NotOrders, -1,
         notOrders},
        {"galaxy.x3", with(orders, [](auto& f) { f.PlayerIndex = 31; }), host, "", OrderCheck::NotOrders, -1,
         notOrders},
        {"galaxy.x3", orders, host, GameFileBytes(orders).substr(0, 17), OrderCheck::NotOrders, -1,
         notOrders},
        {"galaxy.x3", orders, host, "\x10\x21" + GameFileBytes(orders).substr(2), OrderCheck::NotOrders, -1,
         notOrders},
        // While the host writes its file nothing is judged, not even a file that is no order file.
        {"galaxy.x3", orders, with(host, [](auto& f) { f.Flags = 0x02; }), "", OrderCheck::HostBusy, -1,
         "the host is generating the turn; send it again in a few minutes"},
        {"galaxy.x3", with(orders, [](auto& f) { f.FileType = 0; }),
         with(host, [](auto& f) { f.Flags = 0x03; }), "", OrderCheck::HostBusy, -1,
         "the host is generating the turn; send it again in a few minutes"},
        {"galaxy.x3", orders, with(host, [](auto& f) { f.Flags = 0xFD; }), "", OrderCheck::Accepted, 2, ""},
    };
    for (const Case& c : cases) {
        const std::string bytes = c.bytes.empty() ? GameFileBytes(c.file) : c.bytes;
        const auto hostHeader = ParseGameFileHeader(GameFileBytes(c.host));
        ASSERT_TRUE(hostHeader);
        const OrderCheck check = CheckOrderFile(bytes, c.name, *hostHeader);
        SCOPED_TRACE(std::string(c.name) + " " + c.reason);
        EXPECT_EQ(check.verdict, c.verdict);
        EXPECT_EQ(check.PlayerIndex, c.player);
        EXPECT_EQ(check.Reason, c.reason);
    }
}

} // namespace
} // namespace turnpost
