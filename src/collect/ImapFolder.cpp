#include "collect/ImapFolder.h"

#include <cstdint>
#include <vector>

namespace turnpost {

namespace {

// The code points of UTF-8 text, or false when it is not UTF-8.
bool DecodeUtf8(std::string_view text, std::vector<std::uint32_t>& out)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = lead < 0x80         ? 1
                     : (lead >> 5) == 6  ? 2
                     : (lead >> 4) == 14 ? 3
                     : (lead >> 3) == 30 ? 4
                                         : 0;
        if (length == 0 || i + length > text.size())
            return false;
        std::uint32_t point = length == 1 ? lead : lead & (0x7f >> length);
        for (int k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xc0) != 0x80)
                return false;
            point = point << 6 | (c & 0x3f);
        }
        static constexpr std::uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < Least[length] || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff))
            return false;
        out.push_back(point);
        i += length;
    }
    return true;
}

// RFC 3501 5.1.3: printable ASCII stands for itself ('&' as "&-"), everything else is UTF-16 in
// base64 with ',' for '/', between '&' and '-'.
std::string ModifiedUtf7(const std::vector<std::uint32_t>& points)
{
    static constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
    std::string out;
    std::vector<std::uint16_t> units;
    const auto flush = [&] {
        if (units.empty())
            return;
        out += '&';
        std::uint32_t bits = 0;
        int count = 0;
        for (const std::uint16_t unit : units) {
            bits = bits << 16 | unit;
            count += 16;
            while (count >= 6) {
                count -= 6;
                out += Alphabet[(bits >> count) & 0x3f];
            }
            bits &= (1u << count) - 1;
        }
        if (count > 0)
            out += Alphabet[(bits << (6 - count)) & 0x3f];
        out += '-';
        units.clear();
    };
    for (const std::uint32_t point : points) {
        if (point >= 0x20 && point <= 0x7e) {
            flush();
            out += point == '&' ? std::string("&-") : std::string(1, static_cast<char>(point));
        } else if (point > 0xffff) {
            const std::uint32_t v = point - 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xd800 | v >> 10));
            units.push_back(static_cast<std::uint16_t>(0xdc00 | (v & 0x3ff)));
        } else
            units.push_back(static_cast<std::uint16_t>(point));
    }
    flush();
    return out;
}

} // namespace

ImapFolder MakeImapFolder(std::string_view setupName, char separator)
{
    ImapFolder folder;
    const std::string shown = "the folder name \"" + std::string(setupName) + "\"";
    if (setupName.empty()) {
        folder.Error = "no folder name is given";
        return folder;
    }
    if (separator == '"' || separator == '\\' ||
        (separator != '\0' && static_cast<unsigned char>(separator) < 0x20)) {
        folder.Error = "the server's folder separator cannot be written in a command";
        return folder;
    }
    std::vector<std::uint32_t> points;
    if (!DecodeUtf8(setupName, points)) {
        folder.Error = shown + " is not UTF-8 text";
        return folder;
    }
    for (const std::uint32_t point : points) {
        if (point < 0x20 || point == 0x7f || (point >= 0x80 && point < 0xa0)) {
            folder.Error = "the folder name holds a control character";
            return folder;
        }
        if (point == '"' || point == '\\' || point == '*' || point == '%') {
            folder.Error = shown + " holds '" + std::string(1, static_cast<char>(point)) +
                           "', which a folder name cannot (nor '\"', '\\', '*' or '%')";
            return folder;
        }
        if (separator != '/' && separator != '\0' && point == static_cast<unsigned char>(separator)) {
            folder.Error = shown + " holds '" + std::string(1, separator) +
                           "', which this server puts between folder levels; write levels with '/'";
            return folder;
        }
    }
    // Levels: none empty, none that a path could read as "this" or "the one above".
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = setupName.find('/', start);
        const std::string_view level = setupName.substr(start, slash - start);
        if (level.empty() || level == "." || level == "..") {
            folder.Error = shown + " has an empty or dotted level";
            return folder;
        }
        if (slash == std::string_view::npos)
            break;
        if (separator == '\0') {
            folder.Error = shown + " has levels, but this server's folders have none";
            return folder;
        }
        start = slash + 1;
    }
    folder.Name = ModifiedUtf7(points);
    if (separator != '\0' && separator != '/')
        for (char& c : folder.Name)
            if (c == '/')
                c = separator;
    folder.Ok = true;
    return folder;
}

std::string FolderUrlPath(const std::string& serverName)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string path;
    for (const char c : serverName) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9'))
            path += c;
        else {
            path += '%';
            path += Hex[b >> 4];
            path += Hex[b & 15];
        }
    }
    return path;
}

} // namespace turnpost
