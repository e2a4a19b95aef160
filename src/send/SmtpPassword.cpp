#include "send/SmtpPassword.h"

#include "mail/ServerText.h"
#include "platform/Clock.h"
#include "platform/LastError.h"
#include "platform/ProcessRunner.h"
#include "platform/UserFolders.h"
#include "platform/UserInterface.h"
#include "setup/CommandApproval.h"

#include <cstdlib>

namespace turnpost {

namespace {

const char* const PasswordVariable = "TURNPOST_SMTP_PASSWORD";

/// Runs the command and checks that it gave one line to use as the password.
std::optional<std::string> RunPasswordCommand(const std::string& command, int timeout, std::string& error)
{
    // The command may come from anyone's setup file: what it holds must not steer the terminal or the
    // report that quotes it.
    const std::string shown = PrintableText(command);
    const std::string failed = "Password command failed: " + shown;
    CommandOutcome outcome = RunForFirstLine(command, timeout, MaxPasswordLine);
    switch (outcome.How) {
    case CommandOutcome::End::NotRun:
        error = failed + " (" + SystemErrorText(outcome.Error) + ")";
        return std::nullopt;
    case CommandOutcome::End::TimedOut:
        error = "Password command did not finish within " + std::to_string(timeout) +
                " ms and was stopped: " + shown;
        return std::nullopt;
    case CommandOutcome::End::Signalled:
        error = failed + " (killed by signal " + std::to_string(outcome.Status) + ")";
        return std::nullopt;
    case CommandOutcome::End::Exited:
        break;
    }
    if (outcome.Status != 0) {
        error = failed + " (exit status " + std::to_string(outcome.Status) + ")";
        return std::nullopt;
    }
    if (outcome.LineTooLong) {
        error = "Password command gave a line longer than " + std::to_string(MaxPasswordLine) +
                " bytes: " + shown;
        return std::nullopt;
    }
    std::string& output = outcome.FirstLine;
    if (!output.empty() && output.back() == '\r')
        output.pop_back();
    if (output.empty()) {
        error = "Password command gave no password: " + shown;
        return std::nullopt;
    }
    return std::move(output);
}

} // namespace

bool MayRunCommand(const std::string& what, const std::string& command, const CommandSource& source,
                   const SecretDestination& to, IUserInterface& ui, std::string& error)
{
    if (source.SetupFile.empty())
        return true;
    const ApprovalLookup lookup = LookUpApproval(source.SetupFile, command, to);
    if (!lookup.Error.empty()) {
        error = what + " not run: " + PrintableText(lookup.Error);
        return false;
    }
    if (lookup.Approved)
        return true;
    const std::string file = AbsolutePath(source.SetupFile);
    if (!ui.ApprovePasswordCommand(command, file, to)) {
        error = what + " not approved: run turnpost --allow-command " + PrintableText(file);
        return false;
    }
    // A yes that cannot be recorded still holds for this run; the next one asks again.
    std::string ignored;
    ApproveCommand(file, command, to, ignored);
    return true;
}

std::string PasswordAccount(const GameSetup& setup)
{
    return setup.SmtpUser + "@" + setup.SmtpServer;
}

CommandSource CommandSource::Of(const GameDocument& document)
{
    if (document.FilePath == UntitledPath ||
        document.Setup.SmtpPasswordCommand != document.PasswordCommandFromFile)
        return Typed();
    return {document.FilePath};
}

std::optional<std::string> RunApprovedCommand(const std::string& command, const CommandSource& source,
                                              const SecretDestination& to, int timeout, IUserInterface& ui,
                                              std::string& error)
{
    if (!MayRunCommand("Password command", command, source, to, ui, error))
        return std::nullopt;
    return RunPasswordCommand(command, timeout, error);
}

std::optional<std::string> ObtainSmtpPassword(const GameSetup& setup, const CommandSource& source,
                                              IUserInterface& ui, std::string& error, bool* askedOfUser)
{
    error.clear();
    if (askedOfUser)
        *askedOfUser = false;
    // An empty variable counts as unset, so that a script can clear it with "VAR=".
    if (const char* fromEnvironment = std::getenv(PasswordVariable); fromEnvironment && *fromEnvironment)
        return std::string(fromEnvironment);
    if (!setup.SmtpPasswordCommand.empty()) {
        const int timeout = setup.SmtpTimeout > 0 ? setup.SmtpTimeout : DefaultSmtpTimeout;
        return RunApprovedCommand(setup.SmtpPasswordCommand, source, SmtpDestination(setup), timeout, ui,
                                  error);
    }
    if (auto answer = ui.AskPassword(PasswordAccount(setup))) {
        if (askedOfUser)
            *askedOfUser = true;
        return answer;
    }
    error = "No password given for " + setup.SmtpUser;
    return std::nullopt;
}

} // namespace turnpost
