// Stand-in until the password sources land; delete this file then.
#include "send/SmtpPassword.h"

namespace turnpost {
std::optional<std::string> ObtainSmtpPassword(const GameSetup&, IUserInterface&, std::string& error)
{
    error = "no password source";
    return std::nullopt;
}
} // namespace turnpost
