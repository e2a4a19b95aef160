#include "platform/Kernel.h"

#include <cerrno>
#include <cstring>
#include <locale.h>
#include <time.h>

namespace turnpost {

namespace {
thread_local std::uint32_t t_lastError = 0;
}

std::uint32_t TickCount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
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

void SetLastError(std::uint32_t error) { t_lastError = error; }
std::uint32_t GetLastError() { return t_lastError; }

std::time_t CurrentTime() { return std::time(nullptr); }

std::string FormatLocalTime(const char* format, std::time_t when)
{
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr)
        return {};
    // The POSIX locale gives English day and month names whatever the user's locale is.
    static const locale_t posix = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    char buffer[128];
    const std::size_t n = posix ? strftime_l(buffer, sizeof buffer, format, &local, posix)
                                : strftime(buffer, sizeof buffer, format, &local);
    return std::string(buffer, n);
}

std::string FormatUtcTime(const char* format, std::time_t when)
{
    std::tm utc{};
    if (gmtime_r(&when, &utc) == nullptr)
        return {};
    static const locale_t posix = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    char buffer[128];
    const std::size_t n = posix ? strftime_l(buffer, sizeof buffer, format, &utc, posix)
                                : strftime(buffer, sizeof buffer, format, &utc);
    return std::string(buffer, n);
}

std::string SystemErrorText(int errnum)
{
    static const locale_t posix = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (posix)
        return strerror_l(errnum, posix);
    return std::strerror(errnum);
}

} // namespace turnpost
