// Encodes a file to standard output with the attachment encoder, in 76-character lines like
// `base64 -w 76` (ended by CR LF, as mail wants them), so that the encoders can be timed as whole
// processes on the same file.
#include "mail/Base64.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

bool WriteAll(const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tp_base64 FILE\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    // Whole lines per slice, so that slices join without a seam; small enough to stay in cache.
    constexpr std::size_t Slice = 57 * 2048;
    std::vector<unsigned char> input(Slice);
    std::vector<char> output(static_cast<std::size_t>(turnpost::Base64BufferSize(Slice)));
    std::size_t filled = 0;
    for (;;) {
        const ssize_t n = ::read(fd, input.data() + filled, Slice - filled);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            std::perror(argv[1]);
            return 1;
        }
        filled += static_cast<std::size_t>(n);
        if (n == 0 || filled == Slice) {
            std::size_t length = 0;
            if (n == 0)
                turnpost::EncodeBase64(input.data(), filled, output.data(), output.size(), &length);
            else
                length = turnpost::EncodeBase64Lines(input.data(), filled, output.data());
            if (!WriteAll(output.data(), length)) {
                std::perror("write");
                return 1;
            }
            filled = 0;
            if (n == 0)
                break;
        }
    }
    ::close(fd);
    return 0;
}
