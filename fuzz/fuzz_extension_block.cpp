// Feeds arbitrary bytes to the reader of the setup file's extension block: every input is the tail after
// a whole version-3 body, so each byte reaches the block's reader rather than the body's. Whatever it
// accepts must survive a write and a second read unchanged; whatever it refuses must leave the setup as
// it was and say why.
#include "setup/SetupFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace turnpost;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A fresh setup is written without an extension block: its bytes are the body alone.
    static const std::string body = SerializeSetup(GameSetup{});
    const std::string bytes = body + std::string(reinterpret_cast<const char*>(data), size);

    GameSetup setup;
    // The extension's fields away from their fresh values, so that a block that resets them shows.
    setup.SmtpUser = "before";
    setup.CheckTurnFiles = 0;
    setup.ExtensionFields = {{"Earlier", "entry"}};
    const GameSetup before = setup;
    const SetupParseResult result = ParseSetup(bytes, setup);
    switch (result.Status) {
    case SetupParseResult::Loaded:
        break;
    case SetupParseResult::BadVersion:
        std::abort(); // the body is whole and of version 3
    case SetupParseResult::BadExtension:
        if (result.Problem.empty())
            std::abort();
        [[fallthrough]];
    case SetupParseResult::PastEnd:
        if (!(setup == before))
            std::abort();
        return 0;
    }
    if (result.Version != 3)
        std::abort();

    GameSetup again;
    // Not written to the file: carry it over so that the comparison covers everything else.
    again.UseDefaultMessage = setup.UseDefaultMessage;
    const std::string written = SerializeSetup(setup);
    if (ParseSetup(written, again).Status != SetupParseResult::Loaded || !(again == setup))
        std::abort();
    if (SerializeSetup(again) != written)
        std::abort();
    return 0;
}
