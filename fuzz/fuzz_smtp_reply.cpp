// Feeds arbitrary server bytes to the SMTP reply reader, cut into pieces at places the input picks,
// and checks what a caller relies on: bounded lines and replies, and codes that are three digits.
#include "mail/SmtpReplyReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses the piece size, so splits at every position get tried.
    const std::size_t piece = 1 + data[0] % 64;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    std::size_t left = size - 1;

    turnpost::CSmtpReplyReader reader;
    while (left > 0) {
        const std::size_t taken = reader.Append(bytes, left < piece ? left : piece);
        if (taken == 0)
            std::abort(); // the reader must always have room for a line in progress
        bytes += taken;
        left -= taken;
        for (;;) {
            const auto status = reader.Next();
            if (status == turnpost::CSmtpReplyReader::Status::Complete) {
                const int code = reader.Code();
                if (code < 0 || code > 999 ||
                    reader.Text().size() > turnpost::CSmtpReplyReader::MaxReplyLength)
                    std::abort();
                continue;
            }
            if (status != turnpost::CSmtpReplyReader::Status::Incomplete)
                return 0;
            if (reader.Partial().size() > turnpost::CSmtpReplyReader::MaxReplyLength + 2048)
                std::abort();
            break;
        }
    }
    return 0;
}
