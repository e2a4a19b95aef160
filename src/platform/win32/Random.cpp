#include "platform/Random.h"

#include <algorithm>
#include <windows.h>

// After windows.h, whose types it uses.
#include <bcrypt.h>

namespace turnpost {

bool RandomBytes(void* buffer, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        // The system's generator takes a 32-bit count.
        const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
        if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
            return false;
        bytes += chunk;
        size -= chunk;
    }
    return true;
}

} // namespace turnpost
