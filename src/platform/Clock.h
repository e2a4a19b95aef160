#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace turnpost {

/// Milliseconds from an arbitrary start; 32 bits, wrapping.
std::uint32_t TickCount();

/// Sleeps; zero or negative returns at once.
void SleepMilliseconds(int milliseconds);

std::time_t CurrentTime();

/// strftime of the local time in the POSIX locale (English names). A result that would not fit in
/// 127 characters, or a time that cannot be converted, gives an empty text.
std::string FormatLocalTime(const char* format, std::time_t when);
inline std::string FormatLocalTime(const char* format)
{
    return FormatLocalTime(format, CurrentTime());
}

/// The same in UTC, for records that must read the same wherever they are read.
std::string FormatUtcTime(const char* format, std::time_t when);

/// What the pauses between players are measured and waited out by, so that a test can let time pass
/// without waiting for it.
class IClock
{
public:
    virtual ~IClock() = default;
    virtual std::uint32_t TickCount() = 0;
    virtual void Sleep(int milliseconds) = 0;
};

/// The clock pauses use: the system's, unless another was put in place.
IClock& PauseClock();
/// Puts clock in place of the one pauses use (null: the system's again) and gives the one before.
IClock* SetPauseClock(IClock* clock);

} // namespace turnpost
