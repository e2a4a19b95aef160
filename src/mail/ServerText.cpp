#include "mail/ServerText.h"

#include "platform/Text.h"

#include <vector>

namespace turnpost {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "550-" or "550 " or a bare "550": the length of the code and its separator, 0 when there is none.
std::size_t CodeLength(std::string_view line)
{
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]))
        return 0;
    if (line.size() == 3)
        return 3;
    return line[3] == '-' || line[3] == ' ' ? 4 : 0;
}

// "5.7.1 " at the start of a line's text: its length with the blank, 0 when there is none.
std::size_t EnhancedCodeLength(std::string_view text)
{
    std::size_t i = 0;
    for (int part = 0; part < 3; ++part) {
        const std::size_t start = i;
        while (i < text.size() && IsDigit(text[i]))
            ++i;
        if (i == start || i - start > 3)
            return 0;
        if (part < 2) {
            if (i >= text.size() || text[i] != '.')
                return 0;
            ++i;
        }
    }
    if (i < text.size() && text[i] != ' ')
        return 0;
    return i < text.size() ? i + 1 : i;
}

} // namespace

std::string PrintableText(std::string_view text, std::size_t limit)
{
    std::string out;
    const bool cut = text.size() > limit;
    // Back off to the start of a UTF-8 sequence, so the cut leaves no broken character.
    const std::size_t end = Utf8CutPoint(text, limit);
    out.reserve(end + 3);
    for (std::size_t i = 0; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out += (c < 0x20 && c != '\t') || c == 0x7F ? '?' : static_cast<char>(c);
    }
    if (cut)
        out += "...";
    return out;
}

std::string PrintableReply(std::string_view reply, std::size_t limit)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= reply.size()) {
        std::size_t end = reply.find('\n', start);
        if (end == std::string_view::npos)
            end = reply.size();
        std::string_view line = reply.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty())
            lines.push_back(line);
        start = end + 1;
    }
    if (lines.empty())
        return {};

    std::string joined;
    const std::size_t firstCodeLength = CodeLength(lines[0]);
    std::string_view firstEnhanced;
    if (firstCodeLength > 0) {
        const std::string_view text = lines[0].substr(firstCodeLength);
        firstEnhanced = text.substr(0, EnhancedCodeLength(text));
        joined = std::string(lines[0].substr(0, 3)) + (text.empty() ? "" : " ") + std::string(text);
    } else {
        joined = std::string(lines[0]);
    }
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string_view text = lines[i];
        if (firstCodeLength > 0 && CodeLength(text) > 0 && text.substr(0, 3) == lines[0].substr(0, 3)) {
            text.remove_prefix(CodeLength(text));
            if (!firstEnhanced.empty() && text.substr(0, firstEnhanced.size()) == firstEnhanced)
                text.remove_prefix(firstEnhanced.size());
        }
        if (text.empty())
            continue;
        joined += ' ';
        joined += text;
    }
    return PrintableText(joined, limit);
}

} // namespace turnpost
