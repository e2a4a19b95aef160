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

} // namespace turnpost
