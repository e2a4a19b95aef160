#include "send/Placeholders.h"

#include "game/GameFileHeader.h"
#include "platform/Files.h"

namespace turnpost {

namespace {
// Two bytes of block header, then the file header block whose bytes 10 and 11 hold the turn number.
constexpr std::size_t TurnOffset = 2 + 10;
constexpr std::size_t HeaderLength = 2 + 16;
} // namespace

std::uint16_t ReadGameYear(const std::string& hostFilePath)
{
    const auto header = ReadFilePrefix(hostFilePath, HeaderLength);
    // A short file would leave the turn number to bytes that were never read.
    if (!header || header->size() < TurnOffset + 2)
        return 0;
    const auto low = static_cast<unsigned char>((*header)[TurnOffset]);
    const auto high = static_cast<unsigned char>((*header)[TurnOffset + 1]);
    return static_cast<std::uint16_t>((low | (high << 8)) + FirstGameYear);
}

std::string HostFilePath(const std::string& universeFile)
{
    const std::size_t keep = universeFile.size() < 2 ? 0 : universeFile.size() - 2;
    return universeFile.substr(0, keep) + "hst";
}

std::string GetPlaceholderValue(const std::string& code, const GameDocument& document)
{
    if (code == "%G")
        return document.Setup.GameName;
    if (code == "%Y")
        return std::to_string(ReadGameYear(HostFilePath(document.Setup.UniverseFile)));
    if (code == "%P")
        return std::to_string(document.CurrentPlayerNumber);
    return code;
}

std::string ExpandPlaceholders(const std::string& text, const GameDocument& document)
{
    std::string result = text;
    for (const char* code : {"%G", "%Y", "%P"}) {
        std::size_t at = 0;
        while ((at = result.find(code, at)) != std::string::npos) {
            // The year is read anew for each occurrence: the host file may appear during a run.
            const std::string value = GetPlaceholderValue(code, document);
            result.replace(at, 2, value);
            at += value.size();
        }
    }
    return result;
}

} // namespace turnpost
