#include "support/GameFiles.h"

namespace turnpost::test {

std::string GameFileBytes(const GameFileFacts& facts)
{
    std::string bytes(18, '\0');
    const auto put16 = [&](std::size_t at, unsigned value) {
        bytes[at] = static_cast<char>(value & 0xFF);
        bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
    };
    put16(0, 0x2010);
    bytes.replace(2, 4, "J3J3");
    put16(6, facts.GameId & 0xFFFF);
    put16(8, facts.GameId >> 16);
    put16(10, 0x2A1C);
    put16(12, facts.Turn);
    put16(14, (0x5A3u << 5) | static_cast<unsigned>(facts.PlayerIndex & 0x1F));
    bytes[16] = static_cast<char>(facts.FileType);
    bytes[17] = static_cast<char>(facts.Flags);
    for (std::size_t i = bytes.size(); i < facts.Size; ++i)
        bytes.push_back(static_cast<char>(i * 37 + facts.PlayerIndex));
    bytes.resize(facts.Size);
    return bytes;
}

std::string WriteConsistentGame(const TempDir& dir, const std::string& name, int players)
{
    GameFileFacts host;
    host.FileType = 2;
    host.PlayerIndex = 31;
    dir.Write(name + ".hst", GameFileBytes(host));
    for (int index = 0; index < players; ++index) {
        GameFileFacts turn;
        turn.PlayerIndex = index;
        turn.Size = 30 + static_cast<std::size_t>(index);
        dir.Write(name + ".m" + std::to_string(index + 1), GameFileBytes(turn));
    }
    GameFileFacts universe;
    universe.FileType = 0;
    universe.PlayerIndex = 31;
    universe.Turn = 0;
    return dir.Write(name + ".xy", GameFileBytes(universe));
}

std::string WriteOrders(const TempDir& dir, const std::string& name, int number, std::uint16_t turn)
{
    GameFileFacts facts;
    facts.FileType = 1;
    facts.PlayerIndex = number - 1;
    facts.Turn = turn;
    return dir.Write(name + ".x" + std::to_string(number), GameFileBytes(facts));
}

} // namespace turnpost::test
