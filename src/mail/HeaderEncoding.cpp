#include "mail/HeaderEncoding.h"

#include "mail/Base64.h"
#include "platform/Hex.h"
#include "platform/Text.h"

#include <algorithm>
#include <vector>

namespace turnpost {

namespace {

constexpr const char* Continuation = ";\r\n ";

bool IsAttributeChar(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

std::string PercentEncoded(const std::string& bytes)
{
    std::string out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsAttributeChar(c)) {
            out += ch;
        } else {
            out += '%';
            out += HexDigit(c >> 4, HexCase::Upper);
            out += HexDigit(c, HexCase::Upper);
        }
    }
    return out;
}

// The length of the UTF-8 character that starts at i (1 for a stray byte).
std::size_t CharacterLength(const std::string& text, std::size_t i)
{
    std::size_t length = 1;
    while (i + length < text.size() && (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80)
        ++length;
    return length;
}

// The parameter on one line, as RFC 2045 and RFC 2231 give it.
std::string SimpleParameter(const std::string& key, const std::string& value)
{
    static const std::string Specials = "()<>@,;:\\\"/[]?= ";
    if (!IsAscii(value))
        return key + "*=utf-8''" + PercentEncoded(value);
    const bool token = std::none_of(value.begin(), value.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F || Specials.find(c) != std::string::npos;
    });
    if (token)
        return key + "=" + value;
    std::string quoted = key + "=\"";
    for (const char ch : value) {
        if (ch == '"' || ch == '\\')
            quoted += '\\';
        quoted += ch;
    }
    return quoted + "\"";
}

} // namespace

std::string CleanHeaderText(const std::string& text)
{
    std::string clean;
    clean.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\r' || c == '\n' || c == '\t')
            clean += ' ';
        else if (c >= 0x20 && c != 0x7F)
            clean += ch;
    }
    return clean;
}

std::string EncodedWords(const std::string& text)
{
    // 42 bytes give 56 base64 characters: "Subject: =?utf-8?B?...?=" stays within 78.
    constexpr std::size_t MaxBytes = 42;
    std::string words;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = std::min(text.size(), start + MaxBytes);
        if (end < text.size()) {
            const std::size_t cut = Utf8CutPoint(text, end);
            if (cut > start)
                end = cut;
        }
        if (!words.empty())
            words += "\r\n ";
        words += "=?utf-8?B?" + EncodeBase64Line(std::string_view(text).substr(start, end - start)) + "?=";
        start = end;
    }
    return words;
}

std::string UnstructuredField(const std::string& name, const std::string& value)
{
    const std::string clean = CleanHeaderText(value);
    const std::string prefix = name + ": ";
    // RFC 2047 5: ASCII text that reads as an encoded word ("=?...?=") is encoded itself, or a
    // reader shows it decoded.
    const auto open = clean.find("=?");
    const bool lookalike = open != std::string::npos && clean.find("?=", open + 2) != std::string::npos;
    if (!IsAscii(clean) || lookalike)
        return prefix + EncodedWords(clean) + "\r\n";

    // Fold before a blank; a blank run stays whole on the line it begins (unfolding gives it back).
    std::vector<std::string> words;
    std::size_t start = 0;
    for (;;) {
        const std::size_t blank = clean.find(' ', start);
        words.push_back(clean.substr(start, blank == std::string::npos ? std::string::npos : blank - start));
        if (blank == std::string::npos)
            break;
        start = blank + 1;
    }
    std::string field = prefix + words[0];
    std::size_t lineStart = 0;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::size_t lineLength = field.size() - lineStart;
        if (!words[i].empty() && lineLength + 1 + words[i].size() > MaxHeaderLine && lineLength > 1 &&
            field.size() > prefix.size()) {
            field += "\r\n";
            lineStart = field.size();
        }
        field += ' ';
        field += words[i];
    }
    // A word that does not fit on a line of its own is better sent as encoded words.
    std::size_t lineBegin = 0;
    while (lineBegin <= field.size()) {
        std::size_t lineEnd = field.find("\r\n", lineBegin);
        if (lineEnd == std::string::npos)
            lineEnd = field.size();
        if (lineEnd - lineBegin > MaxHeaderLine)
            return prefix + EncodedWords(clean) + "\r\n";
        lineBegin = lineEnd + 2;
    }
    return field + "\r\n";
}

std::string HeaderParameter(const std::string& key, const std::string& value, std::size_t& column)
{
    const std::string simple = SimpleParameter(key, value);
    if (column + 2 + simple.size() <= MaxHeaderLine) {
        column += 2 + simple.size();
        return "; " + simple;
    }
    if (1 + simple.size() <= MaxHeaderLine) {
        column = 1 + simple.size();
        return Continuation + simple;
    }
    // RFC 2231 3 and 4: numbered sections, each percent-encoded, the charset named in the first.
    std::string out;
    std::string section;
    int number = 0;
    const auto open = [&] {
        section = key + "*" + std::to_string(number) + "*=" + (number == 0 ? "utf-8''" : "");
        ++number;
    };
    open();
    std::size_t i = 0;
    while (i < value.size()) {
        const std::size_t length = CharacterLength(value, i);
        const std::string encoded = PercentEncoded(value.substr(i, length));
        // Room for the leading blank and the ";" that follows the section.
        if (1 + section.size() + encoded.size() + 1 > MaxHeaderLine && section.back() != '=' &&
            section.back() != '\'') {
            out += Continuation + section;
            open();
        }
        section += encoded;
        i += length;
    }
    out += Continuation + section;
    column = 1 + section.size();
    return out;
}

} // namespace turnpost
