#include "mail/MailAddress.h"

#include "platform/Idna.h"
#include "platform/Text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

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

namespace {

bool IsAceLabel(const std::string& label)
{
    return label.size() >= 4 && AsciiLower(label.substr(0, 4)) == "xn--";
}

// Calls check(label) for each dot-separated label; false as soon as one fails.
template <typename F> bool EachLabel(const std::string& domain, F check)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = domain.find('.', start);
        if (!check(domain.substr(start, dot == std::string::npos ? std::string::npos : dot - start)))
            return false;
        if (dot == std::string::npos)
            return true;
        start = dot + 1;
    }
}

} // namespace

bool CMailAddress::ToWireForm(const std::string& address, std::string& wire, std::string& error)
{
    const auto at = address.rfind('@');
    if (at == std::string::npos) {
        wire = address;
        return true;
    }
    const std::string domain = address.substr(at + 1);
    const auto checkALabels = [&](const std::string& label) {
        return !IsAceLabel(label) || IsValidALabel(label, error);
    };
    if (IsAscii(domain)) {
        // An ASCII domain goes as written (an address literal too); only its A-labels can be checked.
        if (!EachLabel(domain, checkALabels))
            return false;
        wire = address;
        return true;
    }
    // STD3 (RFC 1123 host names): letters, digits and hyphens. An IDNA conversion may drop some of the
    // other ASCII characters instead of refusing them, which would send the mail to another domain.
    for (const char c : domain) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80 && !std::isalnum(u) && c != '-' && c != '.') {
            error = "\"" + Escaped(std::string(1, c)) + "\" is not allowed in a domain name";
            return false;
        }
    }
    std::string ascii;
    if (!DomainToAscii(domain, ascii, error))
        return false;
    if (!EachLabel(ascii, checkALabels))
        return false;
    wire = address.substr(0, at + 1) + ascii;
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
