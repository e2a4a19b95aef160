#include "game/GameFileHeader.h"

#include "platform/Files.h"

namespace turnpost {

namespace {

// Where the fields lie in a game file: two bytes of block header, then the 16-byte header block.
constexpr std::size_t BlockHeaderAt = 0;
constexpr std::size_t GameIdAt = 6;
constexpr std::size_t VersionAt = 10;
constexpr std::size_t TurnAt = 12;
constexpr std::size_t PlayerAt = 14;
constexpr std::size_t FileTypeAt = 16;
constexpr std::size_t FlagsAt = 17;
static_assert(TurnAt + 2 == GameFileHeader::TurnLength && FlagsAt + 1 == GameFileHeader::Length);

std::uint16_t Word(std::string_view bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

} // namespace

std::optional<GameFileHeader> ParseGameFileHeader(std::string_view bytes)
{
    // Block type 8 in the top six bits, size 16 in the low ten: 0x2010, stored little-endian.
    if (bytes.size() < GameFileHeader::Length || Word(bytes, BlockHeaderAt) != 0x2010)
        return std::nullopt;
    GameFileHeader header;
    header.GameId = Word(bytes, GameIdAt) | (static_cast<std::uint32_t>(Word(bytes, GameIdAt + 2)) << 16);
    header.Version = Word(bytes, VersionAt);
    header.Turn = *ParseGameTurn(bytes);
    header.PlayerIndex = Word(bytes, PlayerAt) & 0x1F;
    header.FileType = static_cast<unsigned char>(bytes[FileTypeAt]);
    header.Flags = static_cast<std::uint8_t>(bytes[FlagsAt]);
    return header;
}

std::optional<std::uint16_t> ParseGameTurn(std::string_view bytes)
{
    if (bytes.size() < GameFileHeader::TurnLength)
        return std::nullopt;
    return Word(bytes, TurnAt);
}

GameFileHeaderRead ReadGameFileHeader(const std::string& path)
{
    GameFileHeaderRead result;
    const auto bytes = ReadFilePrefix(path, GameFileHeader::Length, &result.Error);
    if (!bytes)
        return result;
    if (const auto header = ParseGameFileHeader(*bytes)) {
        result.Status = GameFileHeaderRead::Read;
        result.Header = *header;
    } else {
        result.Status = GameFileHeaderRead::NoHeader;
    }
    return result;
}

} // namespace turnpost
