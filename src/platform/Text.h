#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace turnpost {

// Small questions about UTF-8 text that every layer asks.

/// True when every byte is below 0x80.
bool IsAscii(std::string_view text);

/// The last position not after at where text can be cut without breaking a UTF-8 sequence: at itself
/// unless it falls on a continuation byte. Positions past the end give the end.
std::size_t Utf8CutPoint(std::string_view text, std::size_t at);

/// '0' to '9' only, whatever the locale says.
constexpr bool IsAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

/// The text without the blanks (spaces and tabs) at either end.
std::string_view TrimBlanks(std::string_view text);

/// Appends the code point c (at most 0x10FFFF) to out in UTF-8.
void AppendUtf8(std::string& out, char32_t c);

/// text with its ASCII capitals made small and every other byte as it was (domain names, "xn--").
std::string AsciiLower(std::string text);

} // namespace turnpost
