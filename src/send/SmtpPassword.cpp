#include "send/SmtpPassword.h"

#include "platform/Kernel.h"
#include "platform/UserInterface.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace turnpost {

namespace {

const char* const PasswordVariable = "TURNPOST_SMTP_PASSWORD";

/// Runs the command through /bin/sh with its standard output in a pipe, as a shell user expects
/// (pipes, quoting, ~ and variables work). Its standard input and error stay the program's, so a
/// command that prompts on the terminal can still do so.
std::optional<std::string> RunPasswordCommand(const std::string& command, std::string& error)
{
    const std::string failed = "Password command failed: " + command;
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        error = failed + " (" + SystemErrorText(errno) + ")";
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t child = -1;
    const int spawned =
        ::posix_spawn(&child, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        error = failed + " (" + SystemErrorText(spawned) + ")";
        return std::nullopt;
    }

    // Read to the end so that the command never blocks on a full pipe, but keep only the first line.
    std::string output;
    bool lineComplete = false;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (lineComplete)
            continue;
        output.append(buffer, static_cast<std::size_t>(n));
        if (const auto end = output.find('\n'); end != std::string::npos) {
            output.resize(end);
            lineComplete = true;
        }
    }
    ::close(pipeEnds[0]);

    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            error = failed + " (" + SystemErrorText(errno) + ")";
            return std::nullopt;
        }
    }
    if (WIFSIGNALED(status)) {
        error = failed + " (killed by signal " + std::to_string(WTERMSIG(status)) + ")";
        return std::nullopt;
    }
    if (WEXITSTATUS(status) != 0) {
        error = failed + " (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
        return std::nullopt;
    }
    if (!output.empty() && output.back() == '\r')
        output.pop_back();
    if (output.empty()) {
        error = "Password command gave no password: " + command;
        return std::nullopt;
    }
    return output;
}

} // namespace

std::string PasswordAccount(const GameSetup& setup)
{
    return setup.SmtpUser + "@" + setup.SmtpServer;
}

std::optional<std::string> ObtainSmtpPassword(const GameSetup& setup, IUserInterface& ui, std::string& error,
                                              bool* askedOfUser)
{
    error.clear();
    if (askedOfUser)
        *askedOfUser = false;
    // An empty variable counts as unset, so that a script can clear it with "VAR=".
    if (const char* fromEnvironment = std::getenv(PasswordVariable); fromEnvironment && *fromEnvironment)
        return std::string(fromEnvironment);
    if (!setup.SmtpPasswordCommand.empty())
        return RunPasswordCommand(setup.SmtpPasswordCommand, error);
    if (auto answer = ui.AskPassword(PasswordAccount(setup))) {
        if (askedOfUser)
            *askedOfUser = true;
        return answer;
    }
    error = "No password given for " + setup.SmtpUser;
    return std::nullopt;
}

} // namespace turnpost
