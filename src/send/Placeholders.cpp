#include "send/Placeholders.h"

#include "game/HostFile.h"
#include "send/TurnDeadline.h"

namespace turnpost {

std::string GetPlaceholderValue(const std::string& code, const GameDocument& document)
{
    if (code == "%G")
        return document.Setup.GameName;
    if (code == "%Y")
        return std::to_string(ReadGameYear(HostFilePath(document.Setup.UniverseFile)));
    if (code == "%P")
        return std::to_string(document.CurrentPlayerNumber);
    if (code == "%D") {
        const auto deadline = GetTurnDeadline(document);
        return deadline ? FormatDeadline(*deadline) : std::string();
    }
    return code;
}

std::string ExpandPlaceholders(const std::string& text, const GameDocument& document)
{
    std::string result = text;
    for (const char* code : {"%G", "%Y", "%P", "%D"}) {
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
