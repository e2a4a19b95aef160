// Feeds arbitrary bytes to the order-file extractor as one mail message, and checks what the
// collection relies on: a refusal always says why, and no file grows far beyond the message it came in.
#include "collect/OrderExtractor.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const turnpost::COrderExtractor extractor;
    const std::string_view message(reinterpret_cast<const char*>(data), size);
    const turnpost::ExtractedMessage extracted = extractor.Extract(message);
    if (!extracted.Ok && extracted.Error.empty())
        std::abort();
    for (const auto& file : extracted.Files)
        if (file.Name.empty() || file.Bytes.size() > 2 * size)
            std::abort();
    return 0;
}
