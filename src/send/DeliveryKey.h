#pragma once

#include "send/DeliveryLedger.h"
#include "send/PlayerAttempt.h"
#include "setup/GameSetup.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace turnpost {

/// What a selected player would be mailed now, as a delivery in the ledger must match it for him to
/// count as having his turn: the same turn file (size and SHA-256) to the same address, for the same
/// game and turn. A player who gets no turn file is matched by address, game and year instead.
struct DeliveryKey
{
    std::string Address;
    /// The turn file his message carries; nullopt when none is sent. An empty digest (the file cannot
    /// be read) matches no delivery.
    std::optional<AttachedFile> TurnFile;
    /// From the turn file's header, or without a turn file from the host file's (the game id from the
    /// universe file's when the host file has none); nullopt where no header could be read.
    std::optional<std::uint32_t> GameId;
    std::optional<std::uint16_t> Turn;
    std::uint16_t Year = 0;

    /// The attempt was this mail (sent or not). Lines of older versions, which lack game and turn,
    /// are matched on the rest.
    bool Matches(const PlayerAttempt& attempt) const;
};

/// The key of each player slot as the setup and the game files stand now; digests reads each file
/// once for the whole run.
std::array<DeliveryKey, PlayerCount> CurrentDeliveryKeys(const GameSetup& setup, CAttachmentDigests& digests);

/// What the ledger says of one player's mail as it would go now.
struct LedgerVerdict
{
    bool Delivered = false;
    /// The latest delivery of this mail, or without one its latest failed attempt; nullopt when it
    /// was never tried.
    std::optional<PlayerAttempt> Last;
};

/// The one judgement of "delivered", for the resend and for --status alike.
std::array<LedgerVerdict, PlayerCount> JudgeDeliveries(const LedgerContents& ledger,
                                                       const std::array<DeliveryKey, PlayerCount>& keys);

} // namespace turnpost
