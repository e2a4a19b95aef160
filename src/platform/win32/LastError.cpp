#include "platform/LastError.h"

#include <cerrno>
#include <cstring>

namespace turnpost {

namespace {
thread_local std::uint32_t t_lastError = 0;
}

void SetLastError(std::uint32_t error)
{
    t_lastError = error;
}
std::uint32_t GetLastError()
{
    return t_lastError;
}

std::string SystemErrorText(int errnum)
{
    // The C library knows no words for the POSIX numbers MinGW adds above its own; these are the ones
    // the file functions report, worded as on Linux.
    switch (errnum) {
    case ELOOP:
        return "Too many levels of symbolic links";
    case ENOTSUP:
        return "Operation not supported";
    case EWOULDBLOCK:
        return "Resource temporarily unavailable";
    case EOVERFLOW:
        return "Value too large for defined data type";
    case ETIMEDOUT:
        return "Connection timed out";
    default:
        // English whatever language Windows speaks, and kept per thread.
        return std::strerror(errnum);
    }
}

} // namespace turnpost
