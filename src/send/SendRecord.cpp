#include "send/SendRecord.h"

#include "game/HostFile.h"
#include "send/Placeholders.h"
#include "send/PlayerVerdict.h"
#include "send/SendRun.h"

namespace turnpost {

CSendRecord::CSendRecord(const GameDocument& document, bool resendFailed)
    : m_Year(ReadGameYear(HostFilePath(document.Setup.UniverseFile))),
      m_Mode(resendFailed ? "resend-failed" : "send"), m_Keys(CurrentDeliveryKeys(document.Setup, m_Digests)),
      m_Ledger(document)
{
    if (resendFailed) {
        const LedgerContents ledger = ReadLedger(LedgerPath(document));
        m_ReadError = ledger.Error;
        m_Warnings = ledger.Warnings;
        const auto verdicts = JudgeDeliveries(ledger, m_Keys);
        for (std::size_t slot = 0; slot < verdicts.size(); ++slot)
            m_Delivered[slot] = verdicts[slot].Delivered;
    }
}

std::string CSendRecord::DeliveredEarlierLine(int index)
{
    return PlayerPrefix(index + 1) + "skipped: delivered earlier\n";
}

void CSendRecord::Add(const GameSetup& setup, int index, const std::string& resultLine, bool sent,
                      const std::string& reply, const std::vector<AttachedFile>* mailed)
{
    PlayerAttempt attempt;
    attempt.Time = AttemptTime();
    attempt.Year = m_Year;
    attempt.GameId = m_Keys[static_cast<std::size_t>(index)].GameId;
    attempt.Turn = m_Keys[static_cast<std::size_t>(index)].Turn;
    attempt.Player = index + 1;
    attempt.Address = setup.Players[static_cast<std::size_t>(index)].EmailAddress;
    attempt.Files = sent && mailed ? *mailed : m_Digests.ForPlayer(setup, index);
    attempt.Result = resultLine.substr(0, resultLine.find('\n'));
    attempt.Sent = sent;
    attempt.Reply = reply;
    m_Ledger.Record(attempt);
    m_Attempts.push_back(std::move(attempt));
}

void CSendRecord::Finish(SendOutcome& outcome, const std::string& note)
{
    RunRecord run;
    run.Time = AttemptTime();
    run.Year = m_Year;
    run.Mode = m_Mode;
    run.Attempted = static_cast<int>(m_Attempts.size());
    for (const PlayerAttempt& attempt : m_Attempts)
        run.Sent += attempt.Sent ? 1 : 0;
    run.Cancelled = outcome.Cancelled;
    run.Note = note;
    m_Ledger.Finish(run);

    outcome.Year = m_Year;
    outcome.Attempts = std::move(m_Attempts);
    outcome.TurnNote = note;
    outcome.LedgerError = m_Ledger.Error();
    outcome.LedgerWarnings = std::move(m_Warnings);
}

} // namespace turnpost
