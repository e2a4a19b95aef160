#pragma once

#include <cstddef>
#include <string>

namespace turnpost {

enum class HexCase
{
    Lower, ///< digests and fingerprints
    Upper, ///< percent and quoted-printable escapes, as RFC 2045 and RFC 3986 write them
};

/// The hex digit for the low four bits of value.
constexpr char HexDigit(unsigned value, HexCase letters = HexCase::Lower)
{
    return (letters == HexCase::Lower ? "0123456789abcdef" : "0123456789ABCDEF")[value & 15];
}

/// Two hex digits for each byte, high half first.
inline std::string HexText(const unsigned char* bytes, std::size_t size, HexCase letters = HexCase::Lower)
{
    std::string text;
    text.reserve(2 * size);
    for (std::size_t i = 0; i < size; ++i) {
        text += HexDigit(bytes[i] >> 4, letters);
        text += HexDigit(bytes[i], letters);
    }
    return text;
}

} // namespace turnpost
