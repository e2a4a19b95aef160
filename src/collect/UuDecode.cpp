#include "collect/UuDecode.h"

#include <optional>

namespace turnpost {

namespace {

std::string_view TrimRight(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    return line;
}

// The file name of a "begin" line: "begin", a mode of three or four octal digits, the name.
std::optional<std::string_view> BeginName(std::string_view line)
{
    if (!line.starts_with("begin "))
        return std::nullopt;
    line.remove_prefix(6);
    std::size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '7')
        ++digits;
    if (digits < 3 || digits > 4 || digits >= line.size() || line[digits] != ' ')
        return std::nullopt;
    line.remove_prefix(digits + 1);
    line = TrimRight(line);
    if (line.empty())
        return std::nullopt;
    return line;
}

// Appends the bytes of one encoded line; false when it holds what uuencoding cannot.
bool DecodeLine(std::string_view line, std::string& out)
{
    const auto value = [](char c) { return (static_cast<unsigned char>(c) - 32) & 63; };
    for (const char c : line)
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 96)
            return false;
    const std::size_t count = value(line[0]);
    line.remove_prefix(1);
    // Mail systems strip trailing spaces, which stand for zero bits, so a last group may be missing;
    // more than that is damage, and would let a short line claim many bytes.
    if ((count + 2) / 3 * 4 > line.size() + 4)
        return false;
    std::size_t written = 0;
    for (std::size_t at = 0; written < count; at += 4) {
        unsigned group = 0;
        for (std::size_t k = 0; k < 4; ++k)
            group = group << 6 | (at + k < line.size() ? value(line[at + k]) : 0);
        for (int shift = 16; shift >= 0 && written < count; shift -= 8, ++written)
            out += static_cast<char>((group >> shift) & 0xff);
    }
    return true;
}

} // namespace

UuScan FindUuencodedFiles(std::string_view text)
{
    UuScan scan;
    std::optional<MessageFile> open;
    bool damaged = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const std::string_view line = TrimRight(raw);
        if (!open) {
            if (const auto name = BeginName(line)) {
                open = MessageFile{std::string(*name), {}};
                damaged = false;
            }
            continue;
        }
        if (line == "end") {
            if (damaged)
                scan.Notes.push_back("the uuencoded file \"" + open->Name + "\" is damaged; it was left out");
            else
                scan.Files.push_back(std::move(*open));
            open.reset();
            continue;
        }
        if (line.empty() || damaged)
            continue;
        std::string_view data = raw;
        if (data.ends_with('\r'))
            data.remove_suffix(1);
        damaged = !DecodeLine(data, open->Bytes);
    }
    if (open)
        scan.Notes.push_back("the uuencoded file \"" + open->Name + "\" has no end line; it was left out");
    return scan;
}

} // namespace turnpost
