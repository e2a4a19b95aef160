#pragma once

#include "setup/GameSetup.h"

#include <string>
#include <vector>

namespace turnpost {

/// What the ledger says about the host file's current year.
struct DeliveryStatus
{
    /// A heading, then each selected player's last result and time (or that he was not mailed).
    std::string Text;
    /// Every selected player has a successful delivery this year.
    bool Everybody = false;
    /// The ledger's damaged lines, skipped.
    std::vector<std::string> Warnings;
};

DeliveryStatus GetDeliveryStatus(const GameDocument& document);

} // namespace turnpost
