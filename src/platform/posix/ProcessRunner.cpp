#include "platform/ProcessRunner.h"

#include "platform/Clock.h"
#include "platform/posix/Descriptor.h"
#include "platform/posix/Wait.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace turnpost {

CommandOutcome RunForFirstLine(const std::string& command, int timeout, std::size_t maxLine,
                               const std::string& folder)
{
    CommandOutcome outcome;
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        outcome.Error = errno;
        return outcome;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    if (!folder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own, so that a command that outstays its time is stopped with all it started.
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
        outcome.Error = spawned;
        return outcome;
    }

    const std::uint32_t start = TickCount();
    const std::uint32_t limit = timeout < 0 ? 0u : static_cast<std::uint32_t>(timeout);
    bool timedOut = false;
    std::string& output = outcome.FirstLine;
    bool lineComplete = false;
    char buffer[4096];
    for (;;) {
        if (WaitUntil(pipeEnds[0], POLLIN, start, limit) == 0) {
            timedOut = true;
            break;
        }
        const long n = ReadOnce(pipeEnds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        if (lineComplete || outcome.LineTooLong)
            continue;
        output.append(buffer, static_cast<std::size_t>(n));
        if (const auto end = output.find('\n'); end != std::string::npos) {
            output.resize(end);
            lineComplete = true;
        }
        if (output.size() > maxLine) {
            output.clear();
            outcome.LineTooLong = true;
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
            outcome.Error = errno;
            return outcome;
        }
        if (TickCount() - start >= limit)
            timedOut = true;
        else
            SleepMilliseconds(10);
    }
    if (timedOut) {
        ::kill(-child, SIGKILL); // whatever it left running
        outcome.How = CommandOutcome::End::TimedOut;
    } else if (WIFSIGNALED(status)) {
        outcome.How = CommandOutcome::End::Signalled;
        outcome.Status = WTERMSIG(status);
    } else {
        outcome.How = CommandOutcome::End::Exited;
        outcome.Status = WEXITSTATUS(status);
    }
    return outcome;
}

} // namespace turnpost
