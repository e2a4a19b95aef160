#include "collect/ImapPassword.h"

#include "platform/UserInterface.h"
#include "setup/CommandApproval.h"

#include <algorithm>
#include <cstdlib>

namespace turnpost {

namespace {

const char* const PasswordVariable = "TURNPOST_IMAP_PASSWORD";

// A password command gets no longer than a mail server's answer would take.
constexpr int CommandTimeout = 60000;

} // namespace

CommandSource CollectCommandSource(const GameDocument& document)
{
    if (document.FilePath == UntitledPath ||
        document.Setup.CollectPasswordCommand != document.CollectPasswordCommandFromFile)
        return CommandSource::Typed();
    return {document.FilePath};
}

std::string ImapPasswordAccount(const GameSetup& setup)
{
    return setup.CollectUser + "@" + setup.CollectServer;
}

std::optional<std::string> ObtainImapPassword(const GameSetup& setup, const CommandSource& source,
                                              IUserInterface& ui, std::string& error, bool* askedOfUser)
{
    error.clear();
    if (askedOfUser)
        *askedOfUser = false;
    // An empty variable counts as unset, so that a script can clear it with "VAR=".
    if (const char* fromEnvironment = std::getenv(PasswordVariable); fromEnvironment && *fromEnvironment)
        return std::string(fromEnvironment);
    if (!setup.CollectPasswordCommand.empty())
        return RunApprovedCommand(setup.CollectPasswordCommand, source, CollectDestination(setup),
                                  CommandTimeout, ui, error);
    if (auto answer = ui.AskPassword(ImapPasswordAccount(setup))) {
        if (askedOfUser)
            *askedOfUser = true;
        return answer;
    }
    error = "No password given for " + setup.CollectUser;
    return std::nullopt;
}

ImapSettings CollectSettings(const GameSetup& setup, std::string secret)
{
    ImapSettings settings;
    settings.Server = setup.CollectServer;
    settings.Security = static_cast<ImapSecurity>(setup.CollectSecurity);
    settings.User = setup.CollectUser;
    settings.Login = setup.CollectLoginMethod == 1 ? ImapLogin::OAuth2 : ImapLogin::Password;
    settings.Secret = std::move(secret);
    if (setup.SmtpTimeout > 0)
        settings.TimeoutSeconds = std::max(1, setup.SmtpTimeout / 1000);
    return settings;
}

} // namespace turnpost
