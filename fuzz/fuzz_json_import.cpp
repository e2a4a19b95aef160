// Feeds arbitrary bytes to the JSON import. Whatever it accepts must come back unchanged after an
// export and a second import; whatever it refuses must say why.
#include "app/JsonSetup.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace turnpost;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    GameSetup setup;
    std::string error;
    if (!SetupFromJson(text, setup, error)) {
        if (error.empty())
            std::abort();
        return 0;
    }
    GameSetup again;
    if (!SetupFromJson(SetupToJson(setup), again, error) || !(again == setup))
        std::abort();
    return 0;
}
