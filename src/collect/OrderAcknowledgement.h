#pragma once

#include "collect/CollectRun.h"
#include "setup/GameSetup.h"

#include <cstdint>
#include <string>
#include <vector>

namespace turnpost {

/// What one order came to, as the player reads it (the value of "%R"): "your orders for 2442 (player
/// 7) were received", "... were replaced by a newer message", "your orders for 2442 were refused:
/// REASON". year is the host file's.
std::string OrderResultSentence(const CollectedOrder& order, std::uint16_t year);

/// The reply to one sender.
struct AcknowledgementText
{
    std::string Subject;
    std::string Body;
};

/// The setup's AcknowledgeSubject and AcknowledgeText with %G, %Y and %P (the first order's player)
/// expanded, then %R as the results of the sender's orders joined by "; ". An order replaced by another
/// of the same sender's is left out: he is told of the newer one. The body ends with the size and
/// SHA-256 of each file taken, so that the player can see the host got the very file he sent.
AcknowledgementText MakeAcknowledgement(const GameDocument& document,
                                        const std::vector<CollectedOrder>& orders, std::uint16_t year);

} // namespace turnpost
