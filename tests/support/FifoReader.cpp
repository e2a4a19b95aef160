#include "support/FifoReader.h"

#include <chrono>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace turnpost::test {

std::string ReadWhatIsWritten(const std::string& path, const std::function<bool()>& write, bool& written)
{
    std::string data;
    std::thread reader([&] {
        const int fd = ::open(path.c_str(), O_RDONLY);
        char buffer[512];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            data.append(buffer, static_cast<std::size_t>(n));
        ::close(fd);
    });
    written = false;
    for (int i = 0; i < 200 && !written; ++i) {
        written = write();
        if (!written)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!written) {
        // Let the reader, still waiting in its open, go.
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    reader.join();
    return data;
}

} // namespace turnpost::test
