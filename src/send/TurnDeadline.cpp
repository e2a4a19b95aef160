#include "send/TurnDeadline.h"

#include "game/HostFile.h"

#include <array>
#include <cstdio>

namespace turnpost {

namespace {

std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t count)
{
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

std::string Count(long long value, const char* unit)
{
    return std::to_string(value) + " " + unit + (value == 1 ? "" : "s");
}

/// Days and hours for a long span, hours alone under a day, minutes under an hour.
std::string Span(std::chrono::seconds span)
{
    const long long minutes = span.count() / 60;
    const long long days = minutes / (24 * 60);
    const long long hours = minutes / 60 % 24;
    if (days > 0)
        return Count(days, "day") + (hours > 0 ? " " + Count(hours, "hour") : "");
    if (hours > 0)
        return Count(hours, "hour");
    return Count(minutes, "minute");
}

} // namespace

bool IsValidDeadlineHours(std::int32_t hours)
{
    return hours >= 0 && hours <= MaxTurnDeadlineHours;
}

std::optional<std::chrono::sys_seconds> ParseAttemptTime(std::string_view text)
{
    using namespace std::chrono;
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != 'Z')
        return std::nullopt;
    const auto y = Digits(text, 0, 4), mo = Digits(text, 5, 2), d = Digits(text, 8, 2);
    const auto h = Digits(text, 11, 2), mi = Digits(text, 14, 2), s = Digits(text, 17, 2);
    if (!y || !mo || !d || !h || !mi || !s || *h > 23 || *mi > 59 || *s > 60)
        return std::nullopt;
    const year_month_day date{year{*y}, month{static_cast<unsigned>(*mo)}, day{static_cast<unsigned>(*d)}};
    if (!date.ok())
        return std::nullopt;
    return sys_days{date} + hours{*h} + minutes{*mi} + seconds{*s};
}

std::optional<std::chrono::sys_seconds> GetTurnDeadline(const GameSetup& setup, const LedgerContents& ledger,
                                                        std::uint16_t year)
{
    if (setup.TurnDeadlineHours <= 0 || !IsValidDeadlineHours(setup.TurnDeadlineHours) || year == 0)
        return std::nullopt;
    std::optional<std::chrono::sys_seconds> opened;
    for (const PlayerAttempt& attempt : ledger.Attempts) {
        if (!attempt.Sent || attempt.Year != year)
            continue;
        const auto time = ParseAttemptTime(attempt.Time);
        if (time && (!opened || *time < *opened))
            opened = time;
    }
    if (!opened)
        return std::nullopt;
    return *opened + std::chrono::hours{setup.TurnDeadlineHours};
}

std::optional<std::chrono::sys_seconds> GetTurnDeadline(const GameDocument& document)
{
    if (document.Setup.TurnDeadlineHours <= 0)
        return std::nullopt;
    const std::string path = LedgerPath(document);
    if (path.empty())
        return std::nullopt;
    return GetTurnDeadline(document.Setup, ReadLedger(path),
                           ReadGameYear(HostFilePath(document.Setup.UniverseFile)));
}

std::string FormatDeadline(std::chrono::sys_seconds deadline)
{
    using namespace std::chrono;
    static constexpr std::array<const char*, 7> Weekdays{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> Months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const sys_days day = floor<days>(deadline);
    const year_month_day date{day};
    const hh_mm_ss time{deadline - day};
    char text[64];
    std::snprintf(text, sizeof text, "%s %u %s %d %02d:%02d UTC", Weekdays[weekday{day}.c_encoding()],
                  static_cast<unsigned>(date.day()), Months[static_cast<unsigned>(date.month()) - 1],
                  static_cast<int>(date.year()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()));
    return text;
}

std::string TimeLeftText(std::chrono::sys_seconds deadline, std::chrono::sys_seconds now)
{
    if (deadline >= now)
        return Span(deadline - now) + " left";
    return "passed " + Span(now - deadline) + " ago";
}

} // namespace turnpost
