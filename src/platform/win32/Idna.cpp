#include "platform/Idna.h"

#include "platform/Punycode.h"
#include "platform/Text.h"
#include "platform/win32/Wide.h"

#include <windows.h>

namespace turnpost {

namespace {

// IDNA2003 (which Wine and older Windows follow in IdnToAscii) maps these away; IDNA2008 keeps them.
constexpr wchar_t SharpS = 0x00DF, FinalSigma = 0x03C2, NonJoiner = 0x200C, Joiner = 0x200D;

bool IsDeviation(wchar_t c)
{
    return c == SharpS || c == FinalSigma || c == NonJoiner || c == Joiner;
}

// The viramas of the Basic Multilingual Plane (combining class 9): ZWJ and ZWNJ may follow one
// (RFC 5892 A.1, A.2). The joining contexts of Arabic script that also allow ZWNJ are not known
// here, so such a label is refused on Windows.
bool IsVirama(wchar_t c)
{
    static constexpr wchar_t Viramas[] = {
        0x094D, 0x09CD, 0x0A4D, 0x0ACD, 0x0B4D, 0x0BCD, 0x0C4D, 0x0CCD, 0x0D3B, 0x0D3C, 0x0D4D, 0x0DCA,
        0x0E3A, 0x0EBA, 0x0F84, 0x1039, 0x103A, 0x1714, 0x1715, 0x1734, 0x17D2, 0x1A60, 0x1B44, 0x1BAA,
        0x1BAB, 0x1BF2, 0x1BF3, 0x2D7F, 0xA806, 0xA82C, 0xA8C4, 0xA953, 0xA9C0, 0xAAF6, 0xABED};
    for (const wchar_t v : Viramas)
        if (c == v)
            return true;
    return false;
}

bool IsSurrogate(wchar_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}

// The system's IDNA mapping of a piece of a label that holds no deviation character: case folded
// and normalised, or refused.
bool MapPiece(const std::wstring& piece, std::wstring& mapped)
{
    wchar_t ace[256];
    const int n = ::IdnToAscii(0, piece.data(), static_cast<int>(piece.size()), ace, 256);
    if (n <= 0)
        return false;
    wchar_t unicode[256];
    const int m = ::IdnToUnicode(0, ace, n, unicode, 256);
    if (m <= 0)
        return false;
    mapped.assign(unicode, static_cast<std::size_t>(m));
    return true;
}

// IDNA2008's own rules on a mapped label, where the system's older ones differ: host-name
// characters, no symbols or punctuation, no mark first, no hyphen at either end or in the third and
// fourth place, joiners only after a virama.
bool CheckLabel(const std::wstring& label, std::string& error)
{
    if (label.empty()) {
        error = "a label is empty";
        return false;
    }
    if (label.front() == L'-' || label.back() == L'-') {
        error = "a label begins or ends with a hyphen";
        return false;
    }
    if (label.size() >= 4 && label[2] == L'-' && label[3] == L'-') {
        error = "a label has hyphens in the third and fourth place";
        return false;
    }
    for (std::size_t i = 0; i < label.size(); ++i) {
        const wchar_t c = label[i];
        if (c < 0x80) {
            if (!((c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'-')) {
                error = "\"" + Narrow(std::wstring(1, c)) + "\" is not allowed in a domain name";
                return false;
            }
            continue;
        }
        if (IsSurrogate(c)) {
            // Beyond the first plane the system's own check stands, but for the blocks of symbols
            // (music, emoji, signs) and the tags and private use that IDNA2003 allowed.
            if (c >= 0xDC00 || i + 1 >= label.size())
                continue;
            const auto point = 0x10000 + ((static_cast<unsigned>(c) - 0xD800) << 10) +
                               (static_cast<unsigned>(label[i + 1]) - 0xDC00);
            ++i;
            if ((point >= 0x1D000 && point <= 0x1D24F) || (point >= 0x1D300 && point <= 0x1D35F) ||
                (point >= 0x1F000 && point <= 0x1FBFF) || point >= 0xE0000) {
                error = "a symbol is not allowed in a domain name";
                return false;
            }
            continue;
        }
        if (c == NonJoiner || c == Joiner) {
            if (i == 0 || !IsVirama(label[i - 1])) {
                error = "a joiner stands where it is not allowed";
                return false;
            }
            continue;
        }
        WORD kind = 0, marks = 0;
        if (!::GetStringTypeW(CT_CTYPE1, &c, 1, &kind) || !::GetStringTypeW(CT_CTYPE3, &c, 1, &marks))
            return false;
        const bool mark = (marks & (C3_NONSPACING | C3_VOWELMARK)) != 0;
        if ((i == 0 && mark) || !((kind & (C1_ALPHA | C1_DIGIT)) || mark)) {
            error = "\"" + Narrow(std::wstring(1, c)) + "\" is not allowed in a domain name";
            return false;
        }
    }
    return true;
}

// One label that is not ASCII: mapped by the system, piece by piece around the characters it would
// map away, checked, and encoded here.
bool LabelToAscii(std::wstring label, std::string& ascii, std::string& error)
{
    for (wchar_t& c : label)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    std::wstring mapped, piece;
    const auto mapPiece = [&] {
        if (piece.empty())
            return true;
        std::wstring part;
        if (!MapPiece(piece, part)) {
            error = Narrow(piece) + " is not allowed in a domain name (Windows error " +
                    std::to_string(::GetLastError()) + ")";
            return false;
        }
        mapped += part;
        piece.clear();
        return true;
    };
    for (const wchar_t c : label) {
        if (!IsDeviation(c)) {
            piece += c;
            continue;
        }
        if (!mapPiece())
            return false;
        mapped += c;
    }
    if (!mapPiece() || !CheckLabel(mapped, error))
        return false;
    const std::string text = Narrow(mapped);
    bool isAscii = true;
    for (const char c : text)
        isAscii = isAscii && static_cast<unsigned char>(c) < 0x80;
    if (isAscii) {
        ascii = text;
        return true;
    }
    std::string encoded;
    if (!PunycodeEncode(text, encoded)) {
        error = "a label cannot be encoded";
        return false;
    }
    ascii = "xn--" + encoded;
    if (ascii.size() > 63) {
        error = "a label is longer than 63 characters";
        return false;
    }
    return true;
}

} // namespace

bool DomainToAscii(const std::string& domain, std::string& ascii, std::string& error)
{
    std::wstring wide = Widen(domain);
    if (Narrow(wide) != domain) {
        error = "the domain is not UTF-8";
        return false;
    }
    // The full stops of other scripts separate labels too.
    for (wchar_t& c : wide)
        if (c == 0x3002 || c == 0xFF0E || c == 0xFF61)
            c = L'.';
    std::string out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = wide.find(L'.', start);
        const std::wstring label =
            wide.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start);
        bool isAscii = true;
        for (const wchar_t c : label)
            isAscii = isAscii && c < 0x80;
        std::string converted;
        if (label.empty() && dot == std::wstring::npos && start > 0) {
            // The root's empty label after a final dot.
        } else if (isAscii) {
            // Host-name characters only; an A-label among them is checked by the caller.
            converted = AsciiLower(Narrow(label));
            const std::size_t bad = converted.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-");
            if (bad != std::string::npos || converted.empty() || converted.front() == '-' ||
                converted.back() == '-') {
                error = bad != std::string::npos
                            ? "\"" + converted.substr(bad, 1) + "\" is not allowed in a domain name"
                            : "a label is empty or begins or ends with a hyphen";
                return false;
            }
        } else if (!LabelToAscii(label, converted, error)) {
            return false;
        }
        out += converted;
        if (dot == std::wstring::npos)
            break;
        out += '.';
        start = dot + 1;
    }
    ascii = out;
    return true;
}

bool IsValidALabel(const std::string& label, std::string& error)
{
    const std::string lower = AsciiLower(label);
    std::string unicode, encoded, reason;
    if (lower.size() < 4 || lower.compare(0, 4, "xn--") != 0 || !PunycodeDecode(lower.substr(4), unicode)) {
        error = label + " is not a valid IDNA label (it does not decode)";
        return false;
    }
    // RFC 5891 5.4: the decoded label must be one this rule allows, and encode back to the same.
    if (unicode.find('.') != std::string::npos || !LabelToAscii(Widen(unicode), encoded, reason)) {
        error = label + " is not a valid IDNA label" + (reason.empty() ? "" : " (" + reason + ")");
        return false;
    }
    if (encoded != lower) {
        error = label + " is not a valid IDNA label";
        return false;
    }
    return true;
}

} // namespace turnpost
