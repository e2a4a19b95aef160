#include "setup/TextEncoding.h"

#include "platform/Text.h"

#include <cstdint>

namespace turnpost {

namespace {

// Windows-1252 0x80..0x9F. The five bytes the code page leaves undefined map to the C1 controls of the
// same value, as Windows's own conversion does, so no byte is lost.
constexpr char16_t Windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf16Le(std::string& out, char16_t unit)
{
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
}

// Decodes the UTF-8 sequence at text[i]; returns its length, or 0 when it is not well formed.
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t& c)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length;
    char32_t min;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, min = 0x80, c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, min = 0x800, c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, c = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() - i < length)
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

bool IsValidUtf8(std::string_view text)
{
    char32_t c;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = DecodeUtf8(text, i, c);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string NarrowToUtf8(std::string_view text)
{
    if (IsValidUtf8(text))
        return std::string(text);
    std::string out;
    out.reserve(text.size() * 2);
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        AppendUtf8(out, b >= 0x80 && b < 0xA0 ? Windows1252High[b - 0x80] : b);
    }
    return out;
}

std::string Utf16LeToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    const std::size_t count = bytes.size() / 2;
    const auto unit = [&](std::size_t k) -> char16_t {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                     static_cast<unsigned char>(bytes[2 * k + 1]) << 8);
    };
    for (std::size_t k = 0; k < count; ++k) {
        const char16_t u = unit(k);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < count && unit(k + 1) >= 0xDC00 && unit(k + 1) <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (unit(k + 1) - 0xDC00));
            ++k;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

std::string Utf8ToUtf16Le(std::string_view text)
{
    const std::string utf8 = NarrowToUtf8(text);
    std::string out;
    out.reserve(utf8.size() * 2);
    char32_t c;
    for (std::size_t i = 0; i < utf8.size();) {
        i += DecodeUtf8(utf8, i, c);
        if (c >= 0x10000) {
            AppendUtf16Le(out, static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            AppendUtf16Le(out, static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            AppendUtf16Le(out, static_cast<char16_t>(c));
        }
    }
    return out;
}

} // namespace turnpost
