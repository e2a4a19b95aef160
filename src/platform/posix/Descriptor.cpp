#include "platform/posix/Descriptor.h"

#include <cerrno>
#include <unistd.h>

namespace turnpost {

bool WriteAll(int fd, std::string_view data, int& error)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

long ReadOnce(int fd, void* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0 || errno != EINTR)
            return static_cast<long>(n);
    }
}

} // namespace turnpost
