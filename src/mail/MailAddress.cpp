#include "mail/MailAddress.h"

#include <cstdio>

namespace turnpost {

std::string CMailAddress::Render() const
{
    if (FriendlyName.empty())
        return EmailAddress;
    return FriendlyName + " <" + EmailAddress + ">";
}

std::string CMailAddress::TrimmedAddress() const
{
    const auto first = EmailAddress.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = EmailAddress.find_last_not_of(" \t");
    return EmailAddress.substr(first, last - first + 1);
}

bool CMailAddress::IsUsable(const std::string& address)
{
    for (const char ch : address) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || c == ' ' || c == '<' || c == '>')
            return false;
    }
    return true;
}

std::string CMailAddress::Escaped(const std::string& address)
{
    std::string text;
    for (const char ch : address) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\r':
            text += "\\r";
            break;
        case '\n':
            text += "\\n";
            break;
        case '\t':
            text += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                text += hex;
            } else {
                text += ch;
            }
        }
    }
    return text;
}

} // namespace turnpost
