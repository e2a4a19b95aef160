#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace turnpost {

/// Builds the bytes of a setup file: little-endian integers and length-prefixed strings.
class CSetupWriter
{
public:
    void WriteInteger(std::int32_t value);

    /// ASCII text goes out narrow, byte for byte; any other text in the wide UTF-16 form, which every
    /// reader of the format understands, so no character depends on a code page.
    void WriteString(std::string_view text);

    const std::string& Bytes() const { return m_Bytes; }

private:
    void WriteUnsigned(std::uint32_t value, int size);
    void WriteLength(std::size_t length);

    std::string m_Bytes;
};

} // namespace turnpost
