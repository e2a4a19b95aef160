#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace turnpost {

/// The most players a game has: a player's files carry his index, 0 to 15.
inline constexpr int MaxPlayers = 16;

/// The year of turn 0.
inline constexpr std::uint16_t FirstGameYear = 2400;

/// The game year of a turn, kept to 16 bits as the placeholder's year always was: turn 65535 is 2399.
constexpr std::uint16_t GameYearOf(std::uint16_t turn)
{
    return static_cast<std::uint16_t>(turn + FirstGameYear);
}

/// What a game file's bytes 16 (file type) says it is.
enum class GameFileType : int
{
    Universe = 0, ///< .xy
    Orders = 1,   ///< .x#
    Host = 2,     ///< .hst
    Turn = 3,     ///< .m#
    History = 4,  ///< .h#
    Race = 5      ///< .r#
};

/// The first 18 bytes of every game file: a 2-byte block header (block type 8, size 16, which are
/// the bytes 0x10 0x20) and the 16-byte file header block, little-endian.
struct GameFileHeader
{
    static constexpr std::size_t Length = 18;
    /// Enough of a file to hold the turn number (bytes 12-13).
    static constexpr std::size_t TurnLength = 14;

    std::uint32_t GameId = 0;
    std::uint16_t Version = 0;
    std::uint16_t Turn = 0;
    /// Bits 0-4 of bytes 14-15: 0 to 15 for a player's file, 31 in a universe file.
    int PlayerIndex = 0;
    int FileType = 0;
    std::uint8_t Flags = 0;

    /// The game year of the turn, kept to 16 bits as the placeholder's year is.
    std::uint16_t Year() const { return GameYearOf(Turn); }
    bool IsType(GameFileType type) const { return FileType == static_cast<int>(type); }
    /// The host is writing the file: a turn generation may be running.
    bool InUse() const { return (Flags & 0x02) != 0; }
};

/// The header at the start of bytes; nullopt when there are fewer than 18 bytes or they do not begin
/// with 0x10 0x20. The magic is not checked.
std::optional<GameFileHeader> ParseGameFileHeader(std::string_view bytes);

/// The turn number at bytes 12-13, which the game year has always been read from on its own: nothing
/// before it is checked, so 14 bytes of any file give a turn. nullopt when there are fewer.
std::optional<std::uint16_t> ParseGameTurn(std::string_view bytes);

/// A file's header as read from disk.
struct GameFileHeaderRead
{
    enum Outcome
    {
        Read,
        Unreadable, ///< the file cannot be opened
        NoHeader    ///< too short, or not beginning with a header
    };
    Outcome Status = Unreadable;
    GameFileHeader Header;
    /// Why an unreadable file could not be read (an error number of the file functions).
    int Error = 0;
};

GameFileHeaderRead ReadGameFileHeader(const std::string& path);

} // namespace turnpost
