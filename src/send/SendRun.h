#pragma once

#include "setup/GameSetup.h"

namespace turnpost {

class IUserInterface;

/// What a send run came to, for the exit status of command-line runs.
struct SendOutcome
{
    bool Started = false;      ///< got past the server check
    bool Cancelled = false;
    int Failed = 0;            ///< selected players not sent
    bool ReportFailed = false; ///< report file not written or report mail not delivered
    bool Succeeded() const { return Started && !Cancelled && Failed == 0 && !ReportFailed; }
};

/// The Send command: mails every selected player, then shows, saves and mails the report as the
/// preferences say.
SendOutcome OnSend(GameDocument& document, IUserInterface& ui);

} // namespace turnpost
