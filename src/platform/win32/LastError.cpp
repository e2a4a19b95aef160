#include "platform/LastError.h"

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
    // The C library's texts are English whatever language Windows speaks, and its strerror keeps its
    // buffer per thread.
    return std::strerror(errnum);
}

} // namespace turnpost
