#include "setup/SetupReader.h"

#include "setup/TextEncoding.h"

namespace turnpost {

bool CSetupReader::ReadBytes(std::size_t count, std::string_view& bytes)
{
    if (count > Remaining())
        return false;
    bytes = m_Bytes.substr(m_Position, count);
    m_Position += count;
    return true;
}

bool CSetupReader::ReadUnsigned(std::size_t size, std::uint32_t& value)
{
    std::string_view bytes;
    if (!ReadBytes(size, bytes))
        return false;
    value = 0;
    for (std::size_t k = size; k-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[k]);
    return true;
}

bool CSetupReader::ReadInteger(std::int32_t& value)
{
    std::uint32_t raw;
    if (!ReadUnsigned(4, raw))
        return false;
    value = static_cast<std::int32_t>(raw);
    return true;
}

bool CSetupReader::ReadLength(std::uint32_t& length, bool& wide)
{
    wide = false;
    if (!ReadUnsigned(1, length))
        return false;
    if (length < 0xFF)
        return true;
    if (!ReadUnsigned(2, length))
        return false;
    if (length == 0xFFFE)
        wide = true;
    else if (length == 0xFFFF)
        return ReadUnsigned(4, length);
    return true;
}

bool CSetupReader::ReadString(std::string& value)
{
    std::uint32_t length;
    bool wide;
    if (!ReadLength(length, wide))
        return false;
    std::string_view bytes;
    if (!wide) {
        if (!ReadBytes(length, bytes))
            return false;
        value = NarrowToUtf8(bytes);
        return true;
    }
    // The character count of a wide string is an ordinary prefix; a second wide marker there can only
    // be taken as the number it spells.
    bool nested;
    if (!ReadLength(length, nested))
        return false;
    if (nested)
        length = 0xFFFE;
    if (!ReadBytes(std::size_t{length} * 2, bytes))
        return false;
    value = Utf16LeToUtf8(bytes);
    return true;
}

} // namespace turnpost
