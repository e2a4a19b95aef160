#include "mail/ServerText.h"

#include "mail/SmtpReplyReader.h"
#include "platform/Text.h"

#include <vector>

namespace turnpost {

namespace {

// "550-" or "550 " or a bare "550": the length of the code and its separator, 0 when there is none.
std::size_t CodeLength(std::string_view line)
{
    if (!ReplyLineCode(line))
        return 0;
    return line.size() == 3 ? 3 : 4;
}

// "5.7.1 " at the start of a line's text: its length with the blank, 0 when there is none.
std::size_t EnhancedCodeLength(std::string_view text)
{
    std::size_t i = 0;
    for (int part = 0; part < 3; ++part) {
        const std::size_t start = i;
        while (i < text.size() && IsAsciiDigit(text[i]))
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

// The length of the well-formed UTF-8 sequence at the start of text, 0 when there is none: no
// overlong forms, no surrogates, nothing beyond U+10FFFF (RFC 3629 4).
std::size_t Utf8SequenceLength(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    // The lead byte gives the length, its payload bits and the least code point that needs it.
    struct Form
    {
        unsigned char First, Last, Mask;
        std::size_t Length;
        char32_t Least;
    };
    static constexpr Form Forms[] = {
        {0xC2, 0xDF, 0x1F, 2, 0x80}, {0xE0, 0xEF, 0x0F, 3, 0x800}, {0xF0, 0xF4, 0x07, 4, 0x10000}};
    const Form* form = nullptr;
    for (const Form& f : Forms)
        if (lead >= f.First && lead <= f.Last)
            form = &f;
    if (form == nullptr)
        return 0;
    const std::size_t length = form->Length;
    char32_t point = lead & form->Mask;
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        point = (point << 6) | (byte(i) & 0x3F);
    }
    if (point < form->Least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        return 0;
    return length;
}

// A character that moves the cursor, ends the line or reorders what follows on a terminal: the C0
// controls but tab, DEL, the C1 controls, the line and paragraph separators, and the bidi embeddings,
// overrides and isolates (which can make a reply read as something else).
bool IsHiddenControl(std::string_view sequence)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(sequence[i]); };
    if (sequence.size() == 1)
        return (byte(0) < 0x20 && byte(0) != '\t') || byte(0) == 0x7F;
    if (sequence.size() == 2)
        return byte(0) == 0xC2 && byte(1) <= 0x9F; // U+0080 to U+009F
    if (sequence.size() == 3 && byte(0) == 0xE2 && byte(1) == 0x80)
        return byte(2) >= 0xA8 && byte(2) <= 0xAE; // U+2028 to U+202E
    if (sequence.size() == 3 && byte(0) == 0xE2 && byte(1) == 0x81)
        return byte(2) >= 0xA6 && byte(2) <= 0xA9; // U+2066 to U+2069
    return false;
}

} // namespace

std::string PrintableText(std::string_view text, std::size_t limit)
{
    std::string out;
    const bool cut = text.size() > limit;
    // Back off to the start of a UTF-8 sequence, so the cut leaves no broken character.
    const std::size_t end = Utf8CutPoint(text, limit);
    out.reserve(end + 3);
    for (std::size_t i = 0; i < end;) {
        const std::size_t length = Utf8SequenceLength(text.substr(i, end - i));
        if (length == 0) {
            // A byte that is no UTF-8 could still be read as a C1 control (0x9B is CSI) by a terminal
            // that takes the text as Latin-1.
            out += '?';
            ++i;
            continue;
        }
        const std::string_view sequence = text.substr(i, length);
        out += IsHiddenControl(sequence) ? std::string_view("?") : sequence;
        i += length;
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
