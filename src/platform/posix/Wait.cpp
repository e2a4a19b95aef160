#include "platform/posix/Wait.h"

#include "platform/Clock.h"

#include <cerrno>
#include <climits>
#include <poll.h>

namespace turnpost {

int WaitUntil(int fd, short events, std::uint32_t start, std::uint32_t timeoutMs, short* revents)
{
    for (;;) {
        const std::uint32_t spent = TickCount() - start;
        const std::uint32_t left = spent >= timeoutMs ? 0 : timeoutMs - spent;
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, left > INT_MAX ? INT_MAX : static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (revents)
            *revents = entry.revents;
        return ready;
    }
}

} // namespace turnpost
