#include "collect/OrderAcknowledgement.h"

#include "send/Placeholders.h"
#include "send/PlayerVerdict.h"

namespace turnpost {

std::string OrderResultSentence(const CollectedOrder& order, std::uint16_t year)
{
    const std::string orders = "your orders for " + std::to_string(year);
    const std::string player = " (player " + std::to_string(order.PlayerIndex + 1) + ")";
    switch (order.result) {
    case CollectedOrder::Taken:
        return orders + player + " were received";
    case CollectedOrder::Replaced:
        return orders + player + " were replaced by a newer message";
    case CollectedOrder::Refused:
        break;
    }
    // The reason may name the file as the sender wrote it.
    return orders + " were refused: " + PrintableLine(order.Reason);
}

namespace {

bool TakenLater(const std::vector<CollectedOrder>& orders, const CollectedOrder& replaced)
{
    for (const CollectedOrder& order : orders)
        if (order.result == CollectedOrder::Taken && order.PlayerIndex == replaced.PlayerIndex)
            return true;
    return false;
}

/// Every "%R" replaced once; the result may hold '%' of a file's name, which is not expanded again.
std::string ExpandResult(const std::string& text, const std::string& result)
{
    std::string expanded;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find("%R", start)) != std::string::npos; start = at + 2)
        expanded += text.substr(start, at - start) + result;
    return expanded + text.substr(start);
}

} // namespace

AcknowledgementText MakeAcknowledgement(const GameDocument& document,
                                        const std::vector<CollectedOrder>& orders, std::uint16_t year)
{
    std::string result;
    std::string receipts;
    int player = 0;
    for (const CollectedOrder& order : orders) {
        if (order.result == CollectedOrder::Replaced && TakenLater(orders, order))
            continue;
        if (player == 0 && order.PlayerIndex >= 0)
            player = order.PlayerIndex + 1;
        result += (result.empty() ? "" : "; ") + OrderResultSentence(order, year);
        if (order.result == CollectedOrder::Taken)
            receipts += PrintableLine(order.FileName) + ": " + std::to_string(order.Size) +
                        " bytes, SHA-256 " + order.Sha256 + "\r\n";
    }
    GameDocument expanding = document;
    expanding.CurrentPlayerNumber = player;
    AcknowledgementText text;
    text.Subject = ExpandResult(ExpandPlaceholders(document.Setup.AcknowledgeSubject, expanding), result);
    text.Body = ExpandResult(ExpandPlaceholders(document.Setup.AcknowledgeText, expanding), result);
    if (!receipts.empty()) {
        if (!text.Body.empty() && text.Body.back() != '\n')
            text.Body += "\r\n";
        text.Body += "\r\n" + receipts;
    }
    return text;
}

} // namespace turnpost
