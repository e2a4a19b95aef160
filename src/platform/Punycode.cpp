#include "platform/Punycode.h"

#include "platform/Text.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace turnpost {

namespace {

constexpr std::uint32_t Base = 36, TMin = 1, TMax = 26, Skew = 38, Damp = 700, InitialBias = 72,
                        InitialN = 0x80;
constexpr std::uint32_t MaxInt = std::numeric_limits<std::uint32_t>::max();

bool IsCharacter(std::uint32_t c)
{
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

// Strict UTF-8: no overlong form, no surrogate, nothing past U+10FFFF.
bool DecodeUtf8(std::string_view text, std::vector<std::uint32_t>& points)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t c = 0;
        if (lead < 0x80) {
            length = 1;
            c = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (next & 0x3F);
        }
        static constexpr std::uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < Least[length] || !IsCharacter(c))
            return false;
        points.push_back(c);
        i += length;
    }
    return true;
}

std::uint32_t Adapt(std::uint32_t delta, std::uint32_t points, bool first)
{
    delta = first ? delta / Damp : delta / 2;
    delta += delta / points;
    std::uint32_t k = 0;
    while (delta > ((Base - TMin) * TMax) / 2) {
        delta /= Base - TMin;
        k += Base;
    }
    return k + (Base - TMin + 1) * delta / (delta + Skew);
}

std::uint32_t Threshold(std::uint32_t k, std::uint32_t bias)
{
    return k <= bias ? TMin : k >= bias + TMax ? TMax : k - bias;
}

char Digit(std::uint32_t d)
{
    return static_cast<char>(d < 26 ? 'a' + d : '0' + (d - 26));
}

// Base when c is no digit.
std::uint32_t DigitValue(char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<std::uint32_t>(c - 'a');
    if (c >= 'A' && c <= 'Z')
        return static_cast<std::uint32_t>(c - 'A');
    if (c >= '0' && c <= '9')
        return static_cast<std::uint32_t>(c - '0') + 26;
    return Base;
}

} // namespace

bool PunycodeEncode(std::string_view label, std::string& encoded)
{
    std::vector<std::uint32_t> points;
    if (!DecodeUtf8(label, points))
        return false;
    std::string out;
    for (const std::uint32_t c : points)
        if (c < 0x80)
            out += static_cast<char>(c);
    const auto basic = static_cast<std::uint32_t>(out.size());
    if (basic > 0)
        out += '-';
    std::uint32_t n = InitialN, delta = 0, bias = InitialBias, handled = basic;
    while (handled < points.size()) {
        std::uint32_t m = MaxInt;
        for (const std::uint32_t c : points)
            if (c >= n && c < m)
                m = c;
        if (m - n > (MaxInt - delta) / (handled + 1))
            return false;
        delta += (m - n) * (handled + 1);
        n = m;
        for (const std::uint32_t c : points) {
            if (c < n && ++delta == 0)
                return false;
            if (c != n)
                continue;
            std::uint32_t q = delta;
            for (std::uint32_t k = Base;; k += Base) {
                const std::uint32_t t = Threshold(k, bias);
                if (q < t)
                    break;
                out += Digit(t + (q - t) % (Base - t));
                q = (q - t) / (Base - t);
            }
            out += Digit(q);
            bias = Adapt(delta, handled + 1, handled == basic);
            delta = 0;
            ++handled;
        }
        ++delta;
        ++n;
    }
    encoded = out;
    return true;
}

bool PunycodeDecode(std::string_view encoded, std::string& label)
{
    std::vector<std::uint32_t> out;
    const std::size_t delimiter = encoded.rfind('-');
    std::size_t in = 0;
    if (delimiter != std::string_view::npos && delimiter > 0) {
        for (std::size_t i = 0; i < delimiter; ++i) {
            const auto c = static_cast<unsigned char>(encoded[i]);
            if (c >= 0x80)
                return false;
            out.push_back(c);
        }
        in = delimiter + 1;
    }
    std::uint32_t n = InitialN, i = 0, bias = InitialBias;
    while (in < encoded.size()) {
        const std::uint32_t old = i;
        std::uint32_t w = 1;
        for (std::uint32_t k = Base;; k += Base) {
            if (in >= encoded.size())
                return false;
            const std::uint32_t digit = DigitValue(encoded[in++]);
            if (digit >= Base || digit > (MaxInt - i) / w)
                return false;
            i += digit * w;
            const std::uint32_t t = Threshold(k, bias);
            if (digit < t)
                break;
            if (w > MaxInt / (Base - t))
                return false;
            w *= Base - t;
        }
        const auto count = static_cast<std::uint32_t>(out.size() + 1);
        bias = Adapt(i - old, count, old == 0);
        if (i / count > MaxInt - n)
            return false;
        n += i / count;
        i %= count;
        // A code point below 0x80 is written as itself, never encoded.
        if (!IsCharacter(n) || n < InitialN)
            return false;
        out.insert(out.begin() + i, n);
        ++i;
    }
    std::string text;
    for (const std::uint32_t c : out)
        AppendUtf8(text, c);
    label = text;
    return true;
}

} // namespace turnpost
