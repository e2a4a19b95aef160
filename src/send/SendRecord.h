#pragma once

#include "send/DeliveryKey.h"
#include "send/DeliveryLedger.h"
#include "send/PlayerAttempt.h"
#include "setup/GameSetup.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace turnpost {

struct SendOutcome;

/// What one send run keeps of its players: the game year it mails for, whom it leaves out because
/// the ledger has them delivered already, and every attempt, written to the ledger as it happens.
class CSendRecord
{
public:
    /// resendFailed: players whose ledger holds a delivery of this turn's mail are left out.
    CSendRecord(const GameDocument& document, bool resendFailed);

    /// For a resend: the ledger exists but cannot be read, so who had this turn is unknown and
    /// nobody may be mailed; empty otherwise.
    const std::string& LedgerReadError() const { return m_ReadError; }

    /// The selected player of slot index has had this year's turn already and is not mailed again.
    bool DeliveredEarlier(int index) const { return m_Delivered[static_cast<std::size_t>(index)]; }
    /// The line for such a player, with LF.
    static std::string DeliveredEarlierLine(int index);

    /// Notes the attempt for the player of slot index and writes it to the ledger. mailed describes
    /// the files of a sent message as they went out; without it they are read for the ledger.
    void Add(const GameSetup& setup, int index, const std::string& resultLine, bool sent,
             const std::string& reply, const std::vector<AttachedFile>* mailed = nullptr);

    /// Writes the run's line, syncs the ledger and hands year, attempts and ledger trouble to outcome.
    void Finish(SendOutcome& outcome, const std::string& note);

private:
    std::uint16_t m_Year = 0;
    std::string m_Mode;
    std::array<bool, PlayerCount> m_Delivered{};
    std::string m_ReadError;
    std::vector<std::string> m_Warnings;
    std::vector<PlayerAttempt> m_Attempts;
    CAttachmentDigests m_Digests;
    std::array<DeliveryKey, PlayerCount> m_Keys;
    CDeliveryLedger m_Ledger;
};

} // namespace turnpost
