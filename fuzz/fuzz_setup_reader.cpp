// Feeds arbitrary bytes to the setup file reader. Whatever it accepts must survive a write and a
// second read unchanged (the extension block's entries, known and unknown, included), and whatever it
// refuses must leave the setup as it was.
#include "setup/SetupFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace turnpost;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    GameSetup setup;
    setup.GameName = "before";
    const GameSetup before = setup;
    const SetupParseResult result = ParseSetup(bytes, setup);
    if (result.Status != SetupParseResult::Loaded) {
        if (!(setup == before))
            std::abort();
        return 0;
    }
    (void)SetupVersionOf(bytes);

    GameSetup again;
    // Not written to the file: carry it over so that the comparison covers everything else.
    again.UseDefaultMessage = setup.UseDefaultMessage;
    const std::string written = SerializeSetup(setup);
    if (ParseSetup(written, again).Status != SetupParseResult::Loaded || !(again == setup))
        std::abort();
    // Writing what was read back gives the same bytes: nothing drifts from save to save.
    if (SerializeSetup(again) != written)
        std::abort();
    return 0;
}
