#pragma once

#include "send/DeliveryLedger.h"
#include "setup/GameSetup.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace turnpost {

/// A year of hours: anything longer is a typing slip, not a turn.
constexpr std::int32_t MaxTurnDeadlineHours = 8760;

/// Hours the setup may hold as a deadline: 0 (none) up to MaxTurnDeadlineHours.
bool IsValidDeadlineHours(std::int32_t hours);

/// A PlayerAttempt time ("2024-05-01T18:30:00Z"); nullopt for anything else.
std::optional<std::chrono::sys_seconds> ParseAttemptTime(std::string_view text);

/// When the orders for year are due: TurnDeadlineHours after the earliest delivered turn mail of
/// that year. nullopt without a (valid) deadline or without such a mail.
std::optional<std::chrono::sys_seconds> GetTurnDeadline(const GameSetup& setup, const LedgerContents& ledger,
                                                        std::uint16_t year);
/// The same for the document as it stands: its ledger and its host file's year.
std::optional<std::chrono::sys_seconds> GetTurnDeadline(const GameDocument& document);

/// "Mon 14 Dec 2026 18:00 UTC".
std::string FormatDeadline(std::chrono::sys_seconds deadline);
/// "2 days 5 hours left", "passed 3 hours ago", measured from now.
std::string TimeLeftText(std::chrono::sys_seconds deadline, std::chrono::sys_seconds now);

} // namespace turnpost
