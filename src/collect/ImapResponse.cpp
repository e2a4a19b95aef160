#include "collect/ImapResponse.h"

#include "platform/Text.h"

#include <algorithm>
#include <charconv>

namespace turnpost {

namespace {

std::vector<std::string_view> Lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

std::string_view NextWord(std::string_view& text)
{
    while (text.starts_with(' '))
        text.remove_prefix(1);
    const std::size_t end = text.find(' ');
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end);
    return word;
}

// The rest of an untagged line after "* " and an optional message number, when its next word is name.
std::optional<std::string_view> Untagged(std::string_view line, std::string_view name, bool numbered = false)
{
    if (!line.starts_with("* "))
        return std::nullopt;
    line.remove_prefix(2);
    if (numbered) {
        const std::string_view number = NextWord(line);
        if (number.empty() ||
            !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
    }
    if (!EqualNoCase(NextWord(line), name))
        return std::nullopt;
    return line;
}

std::optional<std::uint32_t> ParseUid(std::string_view word)
{
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (word.empty() || word[0] == '0' || error != std::errc() || end != word.data() + word.size())
        return std::nullopt;
    return value;
}

// The flags list of a LIST line, "(\HasNoChildren)", and what follows it.
std::optional<std::pair<std::string_view, std::string_view>> ListFlags(std::string_view line)
{
    auto rest = Untagged(line, "LIST");
    if (!rest)
        return std::nullopt;
    while (rest->starts_with(' '))
        rest->remove_prefix(1);
    if (!rest->starts_with('('))
        return std::nullopt;
    const std::size_t close = rest->find(')');
    if (close == std::string_view::npos)
        return std::nullopt;
    return std::pair{rest->substr(1, close - 1), rest->substr(close + 1)};
}

/// Hands take each word of the untagged answers named name; false as soon as take refuses one.
template <typename Take> bool EachWord(std::string_view untagged, std::string_view name, Take take)
{
    for (const std::string_view line : Lines(untagged)) {
        auto rest = Untagged(line, name);
        if (!rest)
            continue;
        for (std::string_view word = NextWord(*rest); !word.empty(); word = NextWord(*rest))
            if (!take(word))
                return false;
    }
    return true;
}

} // namespace

std::vector<std::string> ParseCapabilities(std::string_view untagged)
{
    std::vector<std::string> names;
    EachWord(untagged, "CAPABILITY", [&](std::string_view word) {
        std::string name(word);
        for (char& c : name)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 32);
        names.push_back(std::move(name));
        return true;
    });
    return names;
}

std::optional<char> ParseListSeparator(std::string_view untagged)
{
    for (const std::string_view line : Lines(untagged)) {
        const auto flags = ListFlags(line);
        if (!flags)
            continue;
        std::string_view rest = flags->second;
        while (rest.starts_with(' '))
            rest.remove_prefix(1);
        if (rest.size() >= 3 && EqualNoCase(rest.substr(0, 3), "NIL"))
            return '\0';
        // A quoted character, itself escaped when it is '"' or '\' (RFC 3501 9: QUOTED-CHAR).
        if (rest.size() >= 3 && rest[0] == '"' && rest[1] != '\\' && rest[2] == '"')
            return rest[1];
        if (rest.size() >= 4 && rest[0] == '"' && rest[1] == '\\' && rest[3] == '"')
            return rest[2];
    }
    return std::nullopt;
}

bool ListNamesFolder(std::string_view untagged)
{
    for (const std::string_view line : Lines(untagged)) {
        const auto flags = ListFlags(line);
        if (!flags)
            continue;
        std::string_view list = flags->first;
        bool missing = false;
        while (true) {
            const std::string_view flag = NextWord(list);
            if (flag.empty())
                break;
            missing = missing || EqualNoCase(flag, "\\NonExistent");
        }
        if (!missing)
            return true;
    }
    return false;
}

std::optional<std::vector<std::uint32_t>> ParseSearchUids(std::string_view untagged)
{
    std::vector<std::uint32_t> uids;
    const bool read = EachWord(untagged, "SEARCH", [&](std::string_view word) {
        const auto uid = ParseUid(word);
        if (uid)
            uids.push_back(*uid);
        return uid.has_value();
    });
    if (!read)
        return std::nullopt;
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    return uids;
}

std::optional<bool> ParseSeenFlag(std::string_view untagged, std::uint32_t uid)
{
    for (const std::string_view line : Lines(untagged)) {
        auto rest = Untagged(line, "FETCH", true);
        if (!rest)
            continue;
        while (rest->starts_with(' '))
            rest->remove_prefix(1);
        if (!rest->starts_with('(') || !rest->ends_with(')'))
            continue;
        std::string_view items = rest->substr(1, rest->size() - 2);
        std::optional<std::uint32_t> lineUid;
        std::optional<bool> seen;
        while (!items.empty()) {
            const std::string_view name = NextWord(items);
            if (name.empty())
                break;
            if (EqualNoCase(name, "UID"))
                lineUid = ParseUid(NextWord(items));
            else if (EqualNoCase(name, "FLAGS")) {
                while (items.starts_with(' '))
                    items.remove_prefix(1);
                if (!items.starts_with('('))
                    break;
                const std::size_t close = items.find(')');
                if (close == std::string_view::npos)
                    break;
                std::string_view flags = items.substr(1, close - 1);
                items.remove_prefix(close + 1);
                seen = false;
                while (true) {
                    const std::string_view flag = NextWord(flags);
                    if (flag.empty())
                        break;
                    *seen = *seen || EqualNoCase(flag, "\\Seen");
                }
            } else
                NextWord(items);
        }
        if (lineUid == uid && seen)
            return seen;
    }
    return std::nullopt;
}

std::string StatusText(std::string_view line)
{
    while (line.ends_with('\n') || line.ends_with('\r'))
        line.remove_suffix(1);
    NextWord(line); // the tag or '*'
    const std::string_view status = NextWord(line);
    if (!EqualNoCase(status, "NO") && !EqualNoCase(status, "BAD") && !EqualNoCase(status, "BYE"))
        return {};
    while (line.starts_with(' '))
        line.remove_prefix(1);
    std::string text;
    for (const char c : line.substr(0, Utf8CutPoint(line, 300)))
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)
            text += c;
    return text;
}

} // namespace turnpost
