#include "platform/Clock.h"

#include <cerrno>
#include <locale.h>
#include <time.h>

namespace turnpost {

std::uint32_t TickCount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms =
        static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

void SleepMilliseconds(int milliseconds)
{
    if (milliseconds <= 0)
        return;
    timespec wait{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) == -1 && errno == EINTR) {
    }
}

std::time_t CurrentTime()
{
    return std::time(nullptr);
}

namespace {

std::string FormatTime(const char* format, const std::tm& time)
{
    // The POSIX locale gives English day and month names whatever the user's locale is.
    static const locale_t posix = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    char buffer[128];
    const std::size_t n = posix ? strftime_l(buffer, sizeof buffer, format, &time, posix)
                                : strftime(buffer, sizeof buffer, format, &time);
    return std::string(buffer, n);
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
    return localtime_r(&when, &local) ? FormatTime(format, local) : std::string();
}

std::string FormatUtcTime(const char* format, std::time_t when)
{
    std::tm utc{};
    return gmtime_r(&when, &utc) ? FormatTime(format, utc) : std::string();
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
