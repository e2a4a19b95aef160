#include "send/DeliveryKey.h"

#include "game/GameFileHeader.h"
#include "game/HostFile.h"

#include <algorithm>

namespace turnpost {

bool DeliveryKey::Matches(const PlayerAttempt& attempt) const
{
    if (attempt.Address != Address || (attempt.GameId && attempt.GameId != GameId))
        return false;
    if (!TurnFile)
        return attempt.Year == Year;
    if (TurnFile->Sha256.empty() || (attempt.Turn && attempt.Turn != Turn))
        return false;
    return std::any_of(attempt.Files.begin(), attempt.Files.end(), [&](const AttachedFile& file) {
        return file.Size == TurnFile->Size && file.Sha256 == TurnFile->Sha256;
    });
}

std::array<DeliveryKey, PlayerCount> CurrentDeliveryKeys(const GameSetup& setup, CAttachmentDigests& digests)
{
    const std::string hostPath = HostFilePath(setup.UniverseFile);
    const std::uint16_t year = ReadGameYear(hostPath);
    std::optional<std::uint32_t> hostGame;
    std::optional<std::uint16_t> hostTurn;
    if (const GameFileHeaderRead host = ReadGameFileHeader(hostPath);
        host.Status == GameFileHeaderRead::Read) {
        hostGame = host.Header.GameId;
        hostTurn = host.Header.Turn;
    } else if (const GameFileHeaderRead universe = ReadGameFileHeader(setup.UniverseFile);
               universe.Status == GameFileHeaderRead::Read) {
        hostGame = universe.Header.GameId;
    }

    std::array<DeliveryKey, PlayerCount> keys;
    for (int index = 0; index < PlayerCount; ++index) {
        const PlayerSlot& slot = setup.Players[static_cast<std::size_t>(index)];
        DeliveryKey& key = keys[static_cast<std::size_t>(index)];
        key.Address = slot.EmailAddress;
        key.Year = year;
        key.GameId = hostGame;
        key.Turn = hostTurn;
        if (!slot.Selected || !setup.SendPlayerFile || slot.PlayerFile.empty())
            continue;
        // What the player gets is told by his own file: the host file may be gone or already at the
        // next turn, and the digest pins the header along with the rest.
        key.TurnFile = digests.Describe(slot.PlayerFile);
        const GameFileHeaderRead turn = ReadGameFileHeader(slot.PlayerFile);
        key.GameId =
            turn.Status == GameFileHeaderRead::Read ? std::optional(turn.Header.GameId) : std::nullopt;
        key.Turn = turn.Status == GameFileHeaderRead::Read ? std::optional(turn.Header.Turn) : std::nullopt;
    }
    return keys;
}

std::array<LedgerVerdict, PlayerCount> JudgeDeliveries(const LedgerContents& ledger,
                                                       const std::array<DeliveryKey, PlayerCount>& keys)
{
    std::array<LedgerVerdict, PlayerCount> verdicts;
    for (const PlayerAttempt& attempt : ledger.Attempts) {
        LedgerVerdict& verdict = verdicts[static_cast<std::size_t>(attempt.Player - 1)];
        if (!keys[static_cast<std::size_t>(attempt.Player - 1)].Matches(attempt))
            continue;
        // A failure after a delivery of the same mail (a plain send again) takes nothing away.
        if (attempt.Sent || !verdict.Delivered)
            verdict.Last = attempt;
        verdict.Delivered = verdict.Delivered || attempt.Sent;
    }
    return verdicts;
}

} // namespace turnpost
