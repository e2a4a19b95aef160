#include "game/TurnFiles.h"

#include "platform/Text.h"

namespace turnpost {

namespace {

std::string WithoutLastTwoCharacters(const std::string& path)
{
    std::size_t end = path.size();
    for (int dropped = 0; dropped < 2 && end > 0; ++dropped)
        end = Utf8CutPoint(path, end - 1);
    return path.substr(0, end);
}

} // namespace

std::array<std::string, MaxPlayers> TurnFilesBeside(const std::string& universeFile,
                                                    const std::function<bool(const std::string&)>& exists)
{
    std::array<std::string, MaxPlayers> found;
    const std::string base = WithoutLastTwoCharacters(universeFile);
    for (int number = 1; number <= MaxPlayers; ++number) {
        std::string candidate = base + "m" + std::to_string(number);
        if (exists(candidate))
            found[static_cast<std::size_t>(number - 1)] = std::move(candidate);
    }
    return found;
}

} // namespace turnpost
