#include "send/SmtpPassword.h"

#include "mail/ServerText.h"
#include "platform/Clock.h"
#include "platform/LastError.h"
#include "platform/UserInterface.h"
#include "setup/CommandApproval.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace turnpost {

namespace {

const char* const PasswordVariable = "TURNPOST_SMTP_PASSWORD";

/// Runs the command through /bin/sh with its standard output in a pipe, as a shell user expects
/// (pipes, quoting, ~ and variables work). It runs in a process group of its own, so that a command that
/// does not end within the time-out is stopped with everything it started.
std::optional<std::string> RunPasswordCommand(const std::string& command, int timeout, std::string& error)
{
    // The command may come from anyone's setup file: what it holds must not steer the terminal or the
    // report that quotes it.
    const std::string shown = PrintableText(command);
    const std::string failed = "Password command failed: " + shown;
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        error = failed + " (" + SystemErrorText(errno) + ")";
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t child = -1;
    const int spawned =
        ::posix_spawn(&child, "/bin/sh", &actions, &attributes, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        error = failed + " (" + SystemErrorText(spawned) + ")";
        return std::nullopt;
    }

    const std::uint32_t start = TickCount();
    const auto left = [&]() -> int {
        const std::uint32_t spent = TickCount() - start;
        return spent >= static_cast<std::uint32_t>(timeout) ? 0 : timeout - static_cast<int>(spent);
    };
    bool timedOut = false;
    // Read to the end so that the command never blocks on a full pipe, but keep only the first line.
    std::string output;
    bool lineComplete = false;
    bool lineTooLong = false;
    char buffer[4096];
    for (;;) {
        pollfd ready{pipeEnds[0], POLLIN, 0};
        const int polled = ::poll(&ready, 1, left());
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled == 0) {
            timedOut = true;
            break;
        }
        const ssize_t n = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (lineComplete || lineTooLong)
            continue;
        output.append(buffer, static_cast<std::size_t>(n));
        if (const auto end = output.find('\n'); end != std::string::npos) {
            output.resize(end);
            lineComplete = true;
        }
        if (output.size() > MaxPasswordLine) {
            output.clear();
            lineTooLong = true;
        }
    }
    ::close(pipeEnds[0]);

    int status = 0;
    for (;;) {
        if (timedOut)
            ::kill(-child, SIGKILL);
        const pid_t done = ::waitpid(child, &status, timedOut ? 0 : WNOHANG);
        if (done == child)
            break;
        if (done < 0) {
            if (errno == EINTR)
                continue;
            error = failed + " (" + SystemErrorText(errno) + ")";
            return std::nullopt;
        }
        if (left() == 0)
            timedOut = true;
        else
            SleepMilliseconds(10);
    }
    if (timedOut) {
        ::kill(-child, SIGKILL); // whatever it left running
        error = "Password command did not finish within " + std::to_string(timeout) +
                " ms and was stopped: " + shown;
        return std::nullopt;
    }
    if (WIFSIGNALED(status)) {
        error = failed + " (killed by signal " + std::to_string(WTERMSIG(status)) + ")";
        return std::nullopt;
    }
    if (WEXITSTATUS(status) != 0) {
        error = failed + " (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
        return std::nullopt;
    }
    if (lineTooLong) {
        error = "Password command gave a line longer than " + std::to_string(MaxPasswordLine) +
                " bytes: " + shown;
        return std::nullopt;
    }
    if (!output.empty() && output.back() == '\r')
        output.pop_back();
    if (output.empty()) {
        error = "Password command gave no password: " + shown;
        return std::nullopt;
    }
    return output;
}

/// Whether the command may run: typed by the host, approved before, or approved now by the user.
bool CommandMayRun(const std::string& command, const CommandSource& source, const SecretDestination& to,
                   IUserInterface& ui, std::string& error)
{
    if (source.SetupFile.empty())
        return true;
    const ApprovalLookup lookup = LookUpApproval(source.SetupFile, command, to);
    if (!lookup.Error.empty()) {
        error = "Password command not run: " + PrintableText(lookup.Error);
        return false;
    }
    if (lookup.Approved)
        return true;
    const std::string file = CanonicalSetupPath(source.SetupFile);
    if (!ui.ApprovePasswordCommand(command, file, to)) {
        error = "Password command not approved: run turnpost --allow-command " + PrintableText(file);
        return false;
    }
    // A yes that cannot be recorded still holds for this run; the next one asks again.
    std::string ignored;
    ApproveCommand(file, command, to, ignored);
    return true;
}

} // namespace

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
    if (!CommandMayRun(command, source, to, ui, error))
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
        const int timeout = setup.SmtpTimeout > 0 ? setup.SmtpTimeout : GameSetup{}.SmtpTimeout;
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
