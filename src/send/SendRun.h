#pragma once

#include "send/PlayerAttempt.h"
#include "setup/GameSetup.h"

#include <string>
#include <vector>

namespace turnpost {

class IUserInterface;
class CSendSession;

/// What a send run came to, for the exit status of command-line runs.
struct SendOutcome
{
    bool Started = false; ///< got past the server check
    bool Cancelled = false;
    int Failed = 0;            ///< selected players not sent
    bool ReportFailed = false; ///< report file not written or report mail not delivered
    bool ReportFileFailed = false;
    bool ReportMailFailed = false;
    /// The summary text of the run, for front ends that print it instead of showing the dialog.
    std::string Summary;
    bool Succeeded() const
    {
        return Started && !Cancelled && Failed == 0 && !ReportFailed && LedgerError.empty();
    }

    /// Why the report file or the report mail failed, for a front end that names it.
    std::string ReportFileError;
    std::string ReportMailError;

    /// The game year the run mailed for, and each selected player's attempt in it.
    std::uint16_t Year = 0;
    std::vector<PlayerAttempt> Attempts;
    /// Said before the players' lines: the turn files were not checked, or nobody was mailed.
    std::string TurnNote;
    /// Why the delivery ledger could not be written; a run that leaves no record has not succeeded.
    std::string LedgerError;
    std::vector<std::string> LedgerWarnings;
};

/// What went wrong besides the players, in the host's words: the ledger's warnings, a ledger that could
/// not be written, a report that could not be saved or mailed. Each front end shows them with the
/// summary.
std::vector<std::string> RunNotices(const GameSetup& setup, const SendOutcome& outcome);

/// The Send command: mails every selected player, then shows, saves and mails the report as the
/// preferences say.
SendOutcome OnSend(GameDocument& document, IUserInterface& ui);

/// The same for only the selected players without a successful delivery in the ledger for the host
/// file's current year; the others get a line saying so.
SendOutcome OnResendFailed(GameDocument& document, IUserInterface& ui);

/// Builds and sends the message of the player in slot index (0 to 15) to address through the run's
/// session, and returns his result line, ended by LF. Never fails towards the caller: every failure is
/// told in the line, and sent (when given) says whether the mail went out, reply (when given) what the
/// server said to the end of the data, mailed (when given) each attached file's path, size and the
/// digest of the bytes that went out. Expects CurrentPlayerNumber to be index + 1 already.
std::string MailPlayer(const GameDocument& document, const std::string& address, int index,
                       CSendSession& session, bool* sent = nullptr, std::string* reply = nullptr,
                       std::vector<AttachedFile>* mailed = nullptr);

} // namespace turnpost
