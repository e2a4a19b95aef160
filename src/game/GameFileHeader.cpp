#include "game/GameFileHeader.h"

#include "platform/Files.h"

namespace turnpost {

namespace {

std::uint16_t Word(std::string_view bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

} // namespace

std::optional<GameFileHeader> ParseGameFileHeader(std::string_view bytes)
{
    // Block type 8 in the top six bits, size 16 in the low ten: 0x2010, stored little-endian.
    if (bytes.size() < GameFileHeader::Length || Word(bytes, 0) != 0x2010)
        return std::nullopt;
    GameFileHeader header;
    header.GameId = Word(bytes, 6) | (static_cast<std::uint32_t>(Word(bytes, 8)) << 16);
    header.Version = Word(bytes, 10);
    header.Turn = Word(bytes, 12);
    header.PlayerIndex = Word(bytes, 14) & 0x1F;
    header.FileType = static_cast<unsigned char>(bytes[16]);
    header.Flags = static_cast<std::uint8_t>(bytes[17]);
    return header;
}

GameFileHeaderRead ReadGameFileHeader(const std::string& path)
{
    GameFileHeaderRead result;
    const auto bytes = ReadFilePrefix(path, GameFileHeader::Length, &result.Error);
    if (!bytes)
        return result;
    if (const auto header = ParseGameFileHeader(*bytes)) {
        result.status = GameFileHeaderRead::Read;
        result.Header = *header;
    } else {
        result.status = GameFileHeaderRead::NoHeader;
    }
    return result;
}

} // namespace turnpost
