#include "mail/SmtpAuth.h"

#include "mail/Base64.h"

#include <algorithm>
#include <cctype>

namespace turnpost {

namespace {

std::string UpperCase(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

bool IsSeparator(char c)
{
    return static_cast<unsigned char>(c) <= ' ' || c == '\x7f';
}

// Blanks and any other control bytes part the words, so that none of them can reach a command or a
// report through a mechanism name.
std::vector<std::string_view> Words(std::string_view text)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsSeparator(text[at]))
            ++at;
        const std::size_t start = at;
        while (at < text.size() && !IsSeparator(text[at]))
            ++at;
        if (at > start)
            words.push_back(text.substr(start, at - start));
    }
    return words;
}

// RFC 4422 3.1: 1 to 20 characters of upper-case letters, digits, hyphen and underscore.
bool IsMechanismName(const std::string& name)
{
    return !name.empty() && name.size() <= 20 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    });
}

} // namespace

bool SmtpExtensions::OffersAuth(std::string_view mechanism) const
{
    const std::string wanted = UpperCase(mechanism);
    return std::find(AuthMechanisms.begin(), AuthMechanisms.end(), wanted) != AuthMechanisms.end();
}

namespace {

// The limit of "SIZE n" (RFC 1870 4): 0 for none, and for a value that is no number or passes 64 bits.
std::uint64_t SizeLimitOf(std::string_view text)
{
    std::uint64_t limit = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || limit > (UINT64_MAX - 9) / 10)
            return 0;
        limit = limit * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return limit;
}

} // namespace

SmtpExtensions SmtpExtensions::Parse(std::string_view reply)
{
    SmtpExtensions extensions;
    bool first = true;
    while (!reply.empty()) {
        std::size_t end = reply.find('\n');
        std::string_view line = reply.substr(0, end);
        reply = end == std::string_view::npos ? std::string_view() : reply.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (first) {
            first = false;
            continue;
        }
        // "250-KEYWORD params" or "250 KEYWORD params"
        if (line.size() < 4)
            continue;
        auto words = Words(line.substr(4));
        if (words.empty())
            continue;
        std::string keyword = UpperCase(words.front());
        // Servers from before RFC 4954 announce "AUTH=LOGIN PLAIN"; the mechanisms are the same.
        if (keyword.rfind("AUTH=", 0) == 0) {
            words.front().remove_prefix(5);
            keyword = "AUTH";
        } else {
            words.erase(words.begin());
        }
        if (keyword == "STARTTLS") {
            extensions.StartTls = true;
        } else if (keyword == "PIPELINING") {
            extensions.Pipelining = true;
        } else if (keyword == "SMTPUTF8") {
            extensions.SmtpUtf8 = true;
        } else if (keyword == "SIZE") {
            extensions.Size = true;
            extensions.SizeLimit = words.empty() ? 0 : SizeLimitOf(words.front());
        } else if (keyword == "AUTH") {
            for (const auto word : words) {
                std::string mechanism = UpperCase(word);
                if (IsMechanismName(mechanism) &&
                    std::find(extensions.AuthMechanisms.begin(), extensions.AuthMechanisms.end(),
                              mechanism) == extensions.AuthMechanisms.end())
                    extensions.AuthMechanisms.push_back(std::move(mechanism));
            }
        }
    }
    return extensions;
}

std::string PlainInitialResponse(const std::string& user, const std::string& password)
{
    std::string message;
    message.reserve(user.size() + password.size() + 2);
    message += '\0';
    message += user;
    message += '\0';
    message += password;
    return EncodeBase64Line(message);
}

std::string XOAuth2InitialResponse(const std::string& user, const std::string& token)
{
    return EncodeBase64Line("user=" + user +
                            "\x01"
                            "auth=Bearer " +
                            token + "\x01\x01");
}

std::string OAuthBearerInitialResponse(const std::string& user, const std::string& token)
{
    std::string name;
    for (const char c : user) {
        if (c == ',')
            name += "=2C";
        else if (c == '=')
            name += "=3D";
        else
            name += c;
    }
    return EncodeBase64Line("n,a=" + name +
                            ",\x01"
                            "auth=Bearer " +
                            token + "\x01\x01");
}

} // namespace turnpost
