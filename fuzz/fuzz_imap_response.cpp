// Feeds arbitrary server bytes to the readers of IMAP answers, and checks that what they hand on is
// what the mailbox may put back into a command: UIDs from 1 up, in ascending order.
#include "collect/ImapResponse.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view answer(reinterpret_cast<const char*>(data), size);
    turnpost::ParseCapabilities(answer);
    turnpost::ParseListSeparator(answer);
    turnpost::ListNamesFolder(answer);
    turnpost::ParseSeenFlag(answer, 7);
    if (const auto uids = turnpost::ParseSearchUids(answer))
        for (std::size_t i = 0; i < uids->size(); ++i)
            if ((*uids)[i] == 0 || (i > 0 && (*uids)[i - 1] >= (*uids)[i]))
                std::abort();
    if (turnpost::StatusText(answer).size() > 300)
        std::abort();
    return 0;
}
