#include "platform/LastError.h"

#include <cstring>
#include <locale.h>

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
    static const locale_t posix = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (posix)
        return strerror_l(errnum, posix);
    return std::strerror(errnum);
}

} // namespace turnpost
