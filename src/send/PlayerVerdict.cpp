#include "send/PlayerVerdict.h"

#include "mail/MailAddress.h"
#include "mail/ServerText.h"

namespace turnpost {

std::string PlayerPrefix(int number)
{
    return "[Player " + std::to_string(number) + "] ";
}

std::string AddressProblem(const std::string& address)
{
    // Written like the return address: bare, "<address>" or "Name <address>".
    const std::string trimmed = CMailAddress::FromMailbox(address).TrimmedAddress();
    if (trimmed.empty())
        return "no e-mail address";
    // RFC 5321 4.5.3.1.3: a path is at most 256 bytes with its brackets. A longer one would go out as
    // a command line and a header line that no server is bound to take.
    if (trimmed.size() > CMailAddress::MaxLength)
        return "Invalid e-mail address: " + std::to_string(trimmed.size()) + " bytes, more than the " +
               std::to_string(CMailAddress::MaxLength) + " mail allows: " + PrintableText(trimmed, 60);
    if (!CMailAddress::IsUsable(trimmed))
        return "Invalid e-mail address: " + PrintableText(CMailAddress::Escaped(trimmed));
    std::string wire;
    std::string error;
    if (!CMailAddress::ToWireForm(trimmed, wire, error))
        return "Invalid e-mail address: " + PrintableText(trimmed) + " (domain: " + error + ")";
    return {};
}

std::string PlayerRefusal(const GameSetup& setup, int index, const TurnCheck& turns)
{
    const std::string& refusal = turns.Refusals[static_cast<std::size_t>(index)];
    if (!refusal.empty())
        return refusal;
    return AddressProblem(setup.Players[static_cast<std::size_t>(index)].EmailAddress);
}

std::string PrintableLine(const std::string& line)
{
    constexpr std::size_t Longest = 4096;
    if (!line.empty() && line.back() == '\n')
        return PrintableText(std::string_view(line).substr(0, line.size() - 1), Longest) + "\n";
    return PrintableText(line, Longest);
}

std::string SmtpUtf8Refusal(const std::string& address)
{
    return "not sent: the address " + PrintableText(address) +
           " needs SMTPUTF8, which the server does not offer";
}

} // namespace turnpost
