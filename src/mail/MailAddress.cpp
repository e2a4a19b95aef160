#include "mail/MailAddress.h"

#include "platform/Text.h"

#include <algorithm>
#include <cstdio>
#include <idn2.h>

namespace turnpost {

std::string CMailAddress::Render() const
{
    if (FriendlyName.empty())
        return EmailAddress;
    return FriendlyName + " <" + EmailAddress + ">";
}

CMailAddress CMailAddress::FromMailbox(const std::string& text)
{
    CMailAddress whole(text);
    const std::string trimmed(TrimBlanks(text));
    if (trimmed.empty() || trimmed.back() != '>')
        return whole;
    const auto open = trimmed.rfind('<');
    if (open == std::string::npos)
        return whole;
    std::string name(TrimBlanks(std::string_view(trimmed).substr(0, open)));
    const std::string address = trimmed.substr(open + 1, trimmed.size() - open - 2);
    // One mailbox only: a second bracket or an address list is no display name.
    if (name.find_first_of("<>") != std::string::npos || address.find_first_of("<>") != std::string::npos)
        return whole;
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
        std::string unquoted;
        for (std::size_t i = 1; i + 1 < name.size(); ++i) {
            if (name[i] == '\\' && i + 2 < name.size())
                ++i;
            unquoted += name[i];
        }
        name = unquoted;
    } else if (name.find('"') != std::string::npos) {
        return whole;
    }
    CMailAddress mailbox(address);
    mailbox.FriendlyName = name;
    return mailbox;
}

std::string CMailAddress::TrimmedAddress() const
{
    return std::string(TrimBlanks(EmailAddress));
}

bool CMailAddress::ToWireForm(const std::string& address, std::string& wire, std::string& error)
{
    const auto at = address.rfind('@');
    if (at == std::string::npos || IsAscii(address.substr(at + 1))) {
        wire = address;
        return true;
    }
    char* converted = nullptr;
    const int result =
        idn2_to_ascii_8z(address.substr(at + 1).c_str(), &converted, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
    if (result != IDN2_OK) {
        error = idn2_strerror(result);
        return false;
    }
    wire = address.substr(0, at + 1) + converted;
    idn2_free(converted);
    return true;
}

bool CMailAddress::NeedsSmtpUtf8(const std::string& address)
{
    const auto at = address.rfind('@');
    return !IsAscii(at == std::string::npos ? address : address.substr(0, at));
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
