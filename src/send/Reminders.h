#pragma once

#include "send/DeliveryLedger.h"
#include "setup/GameSetup.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace turnpost {

class IUserInterface;

struct RemindOptions
{
    std::chrono::sys_seconds Now;
    /// Remind now: also before the reminder time, and players already reminded this year.
    bool Force = false;
};

/// What a reminder run came to.
struct RemindOutcome
{
    std::uint16_t Year = 0;
    /// Why nobody was asked about (the host file cannot be read or is in use, another run holds the
    /// setup, the ledger cannot be read); nothing was sent.
    std::string Error;
    /// Said instead of the players' lines when reminders are not due yet.
    std::string NotDue;
    /// One per selected player, without LF: "[Player 3] reminded ADDRESS", "[Player 4] orders in",
    /// "[Player 5] already reminded this year", "[Player 6] not sent: REASON".
    std::vector<std::string> Lines;
    std::vector<ReminderRecord> Reminders; ///< every reminder tried, as the ledger has it
    int Failed = 0;                        ///< due reminders that did not go out
    bool Cancelled = false;
    std::string LedgerError;
    std::vector<std::string> LedgerWarnings;

    bool Succeeded() const { return Error.empty() && Failed == 0 && !Cancelled && LedgerError.empty(); }
};

/// Mails each selected player whose orders for the host file's year are not in the setup's reminder,
/// once per year, all over one connection, and records each in the ledger. With a deadline nothing is
/// sent until it is less than RemindHoursBefore away.
RemindOutcome OnRemind(GameDocument& document, IUserInterface& ui, const RemindOptions& options);

/// A reminder to the player went out for year.
bool RemindedThisYear(const LedgerContents& ledger, int player, std::uint16_t year);
/// The same for every slot (index 0 is player 1), for the window's marks.
std::array<bool, PlayerCount> RemindedPlayers(const LedgerContents& ledger, std::uint16_t year);

/// The reminder text with its placeholders expanded; without a deadline each line that holds "%D" is
/// left out, so "The deadline is %D." does not read "The deadline is .".
std::string ExpandReminderText(const std::string& text, const GameDocument& document);

} // namespace turnpost
