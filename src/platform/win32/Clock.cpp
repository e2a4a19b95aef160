#include "platform/Clock.h"

#include <cstdio>
#include <windows.h>

namespace turnpost {

std::uint32_t TickCount()
{
    return static_cast<std::uint32_t>(::GetTickCount64());
}

void SleepMilliseconds(int milliseconds)
{
    if (milliseconds <= 0)
        return;
    ::Sleep(static_cast<DWORD>(milliseconds));
}

std::time_t CurrentTime()
{
    return std::time(nullptr);
}

namespace {

constexpr const char* DayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                    "Thursday", "Friday", "Saturday"};
constexpr const char* MonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                      "July",    "August",   "September", "October", "November", "December"};

// The C library's strftime here knows neither %z as a number nor %e, %F or %T, and names the zone
// in the user's language: the conversions the program uses are made here instead, in English.
// Anything else makes the whole text empty, as a result that cannot be made.
std::string FormatTime(const char* format, const std::tm& time, long offsetSeconds)
{
    std::string out;
    const auto number = [&out](int value, int width, char fill = '0') {
        char digits[16];
        std::snprintf(digits, sizeof digits, fill == '0' ? "%0*d" : "%*d", width, value);
        out += digits;
    };
    const auto offset = [&out, offsetSeconds] {
        const long minutes = (offsetSeconds < 0 ? -offsetSeconds : offsetSeconds) / 60;
        char digits[16];
        std::snprintf(digits, sizeof digits, "%c%02ld%02ld", offsetSeconds < 0 ? '-' : '+', minutes / 60,
                      minutes % 60);
        out += digits;
    };
    const bool dateKnown = time.tm_mon >= 0 && time.tm_mon < 12 && time.tm_wday >= 0 && time.tm_wday < 7;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        switch (*++p) {
        case 'a':
            out.append(DayNames[dateKnown ? time.tm_wday : 0], 3);
            break;
        case 'A':
            out += DayNames[dateKnown ? time.tm_wday : 0];
            break;
        case 'b':
        case 'h':
            out.append(MonthNames[dateKnown ? time.tm_mon : 0], 3);
            break;
        case 'B':
            out += MonthNames[dateKnown ? time.tm_mon : 0];
            break;
        case 'd':
            number(time.tm_mday, 2);
            break;
        case 'e':
            number(time.tm_mday, 2, ' ');
            break;
        case 'H':
            number(time.tm_hour, 2);
            break;
        case 'I':
            number(time.tm_hour % 12 == 0 ? 12 : time.tm_hour % 12, 2);
            break;
        case 'j':
            number(time.tm_yday + 1, 3);
            break;
        case 'm':
            number(time.tm_mon + 1, 2);
            break;
        case 'M':
            number(time.tm_min, 2);
            break;
        case 'p':
            out += time.tm_hour < 12 ? "AM" : "PM";
            break;
        case 'S':
            number(time.tm_sec, 2);
            break;
        case 'y':
            number((time.tm_year + 1900) % 100, 2);
            break;
        case 'Y':
            number(time.tm_year + 1900, 1);
            break;
        case 'F':
            number(time.tm_year + 1900, 1);
            out += '-';
            number(time.tm_mon + 1, 2);
            out += '-';
            number(time.tm_mday, 2);
            break;
        case 'T':
            number(time.tm_hour, 2);
            out += ':';
            number(time.tm_min, 2);
            out += ':';
            number(time.tm_sec, 2);
            break;
        case 'z':
            offset();
            break;
        case 'Z':
            // Windows has no short zone names; the offset from UTC says the same unambiguously.
            if (offsetSeconds == 0)
                out += "UTC";
            else
                offset();
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '%':
            out += '%';
            break;
        default:
            return {};
        }
    }
    return out.size() < 128 ? out : std::string();
}

class SystemClock : public IClock
{
public:
    std::uint32_t TickCount() override { return turnpost::TickCount(); }
    void Sleep(int milliseconds) override { SleepMilliseconds(milliseconds); }
};

SystemClock g_systemClock;
IClock* g_pauseClock = &g_systemClock;

} // namespace

std::string FormatLocalTime(const char* format, std::time_t when)
{
    std::tm local{};
    if (::localtime_s(&local, &when) != 0)
        return {};
    // The local time read as if it were UTC differs from the moment itself by the zone's offset.
    std::tm copy = local;
    const std::time_t asUtc = ::_mkgmtime(&copy);
    if (asUtc == static_cast<std::time_t>(-1))
        return {};
    return FormatTime(format, local, static_cast<long>(asUtc - when));
}

std::string FormatUtcTime(const char* format, std::time_t when)
{
    std::tm utc{};
    return ::gmtime_s(&utc, &when) == 0 ? FormatTime(format, utc, 0) : std::string();
}

IClock& PauseClock()
{
    return *g_pauseClock;
}

IClock* SetPauseClock(IClock* clock)
{
    IClock* const before = g_pauseClock;
    g_pauseClock = clock ? clock : &g_systemClock;
    return before;
}

} // namespace turnpost
