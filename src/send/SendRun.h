#pragma once

#include "setup/GameSetup.h"

#include <string>

namespace turnpost {

class IUserInterface;

/// What a send run came to, for the exit status of command-line runs.
struct SendOutcome
{
    bool Started = false;      ///< got past the server check
    bool Cancelled = false;
    int Failed = 0;            ///< selected players not sent
    bool ReportFailed = false; ///< report file not written or report mail not delivered
    bool ReportFileFailed = false;
    bool ReportMailFailed = false;
    /// The summary text of the run, for front ends that print it instead of showing the dialog.
    std::string Summary;
    bool Succeeded() const { return Started && !Cancelled && Failed == 0 && !ReportFailed; }
};

/// The Send command: mails every selected player, then shows, saves and mails the report as the
/// preferences say.
SendOutcome OnSend(GameDocument& document, IUserInterface& ui);

} // namespace turnpost
