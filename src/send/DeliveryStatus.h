#pragma once

#include "setup/GameSetup.h"

#include <string>
#include <vector>

namespace turnpost {

/// What the ledger says about the mail each selected player would get now.
struct DeliveryStatus
{
    /// A heading, then each selected player's last result and time (or that he was not mailed).
    std::string Text;
    /// Every selected player has a delivery of this turn's mail, and the ledger could be read.
    bool Everybody = false;
    /// The ledger's damaged lines, skipped, and why it cannot be read.
    std::vector<std::string> Warnings;
};

DeliveryStatus GetDeliveryStatus(const GameDocument& document);

} // namespace turnpost
