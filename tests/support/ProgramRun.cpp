#include "support/ProgramRun.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace turnpost::test {

ProgramRun::ProgramRun(const std::string& binary, const TempDir& dir, const std::vector<std::string>& args)
{
    static int serial = 0;
    const std::string tag = std::to_string(++serial);
    Out = dir.File("stdout-" + tag + ".txt");
    Err = dir.File("stderr-" + tag + ".txt");
    Pid = ::fork();
    if (Pid == 0) {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        const int out = ::open(Out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(Err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        std::vector<char*> argv{const_cast<char*>(binary.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }
}

int ProgramRun::Wait(int seconds)
{
    for (int i = 0; i < seconds * 20; ++i) {
        int status = 0;
        if (::waitpid(Pid, &status, WNOHANG) == Pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(Pid, SIGKILL);
    ::waitpid(Pid, nullptr, 0);
    return -1;
}

} // namespace turnpost::test
