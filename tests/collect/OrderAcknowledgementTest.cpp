#include "collect/OrderAcknowledgement.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

CollectedOrder Order(CollectedOrder::Result result, int playerIndex, std::string reason = {})
{
    CollectedOrder order;
    order.result = result;
    order.PlayerIndex = playerIndex;
    order.FileName = "galaxy.x" + std::to_string(playerIndex + 1);
    order.Size = 1234;
    order.Sha256 = std::string(64, 'a');
    order.Reason = std::move(reason);
    return order;
}

TEST(OrderAcknowledgementTest, SaysWhatBecameOfTheOrders)
{
    struct Case
    {
        CollectedOrder Order;
        const char* Expected;
    };
    const Case cases[] = {
        {Order(CollectedOrder::Taken, 6), "your orders for 2442 (player 7) were received"},
        {Order(CollectedOrder::Replaced, 6, "replaced"),
         "your orders for 2442 (player 7) were replaced by a newer message"},
        {Order(CollectedOrder::Refused, 2, "for turn 2441, the current turn is 2442"),
         "your orders for 2442 were refused: for turn 2441, the current turn is 2442"},
        {Order(CollectedOrder::Refused, -1, "this is not an order file"),
         "your orders for 2442 were refused: this is not an order file"},
        // A name the sender chose reaches the subject printable.
        {Order(CollectedOrder::Refused, 2, "for player 3, but named a\r\nBcc: x.x7"),
         "your orders for 2442 were refused: for player 3, but named a??Bcc: x.x7"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OrderResultSentence(c.Order, 2442), c.Expected);
}

TEST(OrderAcknowledgementTest, FillsTheHostsTemplate)
{
    GameDocument document;
    document.Setup.GameName = "Galaxy";
    document.Setup.AcknowledgeSubject = "%G: %R";
    document.Setup.AcknowledgeText = "Dear player %P,\r\n%R.\r\n";

    const AcknowledgementText taken = MakeAcknowledgement(document, {Order(CollectedOrder::Taken, 6)}, 2442);
    EXPECT_EQ(taken.Subject, "Galaxy: your orders for 2442 (player 7) were received");
    EXPECT_EQ(taken.Body, "Dear player 7,\r\nyour orders for 2442 (player 7) were received.\r\n\r\n"
                          "galaxy.x7: 1234 bytes, SHA-256 " +
                              std::string(64, 'a') + "\r\n");

    // His older message's orders gave way to his newer ones: he hears of the newer only. A '%' in a
    // reason is not a placeholder.
    const AcknowledgementText several =
        MakeAcknowledgement(document,
                            {Order(CollectedOrder::Replaced, 6, "replaced"), Order(CollectedOrder::Taken, 6),
                             Order(CollectedOrder::Refused, -1, "named %G.m7")},
                            2442);
    EXPECT_EQ(several.Subject, "Galaxy: your orders for 2442 (player 7) were received; your orders for 2442 "
                               "were refused: named %G.m7");
}

} // namespace
} // namespace turnpost
