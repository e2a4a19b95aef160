#include "game/HostFile.h"

#include "game/GameFileHeader.h"
#include "platform/Files.h"

namespace turnpost {

std::string HostFilePath(const std::string& universeFile)
{
    const std::size_t keep = universeFile.size() < 2 ? 0 : universeFile.size() - 2;
    return universeFile.substr(0, keep) + "hst";
}

std::uint16_t ReadGameYear(const std::string& hostFilePath)
{
    const auto header = ReadFilePrefix(hostFilePath, GameFileHeader::Length);
    // A short file would leave the turn number to bytes that were never read.
    const auto turn = header ? ParseGameTurn(*header) : std::nullopt;
    return turn ? GameYearOf(*turn) : 0;
}

} // namespace turnpost
