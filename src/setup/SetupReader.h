#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace turnpost {

/// Reads the integers and strings of a setup file from its bytes. Every length is checked against
/// what is left before anything is allocated, so a damaged or hostile file only ever fails.
class CSetupReader
{
public:
    explicit CSetupReader(std::string_view bytes) : m_Bytes(bytes) {}

    /// A 32-bit little-endian integer; false when fewer than four bytes are left.
    bool ReadInteger(std::int32_t& value);

    /// A length-prefixed string, narrow or wide, as UTF-8; false when it reaches past the end.
    bool ReadString(std::string& value);

    std::size_t Remaining() const { return m_Bytes.size() - m_Position; }

private:
    bool ReadBytes(std::size_t count, std::string_view& bytes);
    bool ReadUnsigned(std::size_t size, std::uint32_t& value);
    /// The length of a prefix; wide is set for the marker of a UTF-16 string.
    bool ReadLength(std::uint32_t& length, bool& wide);

    std::string_view m_Bytes;
    std::size_t m_Position = 0;
};

} // namespace turnpost
