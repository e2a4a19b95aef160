#include "support/ProgramRun.h"

#include "support/TempDir.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace turnpost::test {

ProgramRun::ProgramRun(const std::string& folder, const std::vector<std::string>& args,
                       const std::vector<std::string>& environment)
    : ProgramRun(TURNPOST_BINARY_PATH, folder, args, environment)
{
}

ProgramRun::ProgramRun(const std::string& program, const std::string& folder,
                       const std::vector<std::string>& args, const std::vector<std::string>& environment)
    : m_Out(folder + "/stdout.txt"), m_Err(folder + "/stderr.txt")
{
    const char* binary = program.c_str();
    std::vector<std::string> words = environment;
    m_Pid = ::fork();
    if (m_Pid == 0) {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        for (auto& word : words)
            ::putenv(word.data());
        const int out = ::open(m_Out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(m_Err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::dup2(in, 0);
        std::vector<char*> argv{const_cast<char*>(binary)};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(binary, argv.data());
        ::_exit(127);
    }
}

ProgramRun::~ProgramRun()
{
    if (m_Pid > 0) {
        ::kill(m_Pid, SIGKILL);
        ::waitpid(m_Pid, nullptr, 0);
    }
}

int ProgramRun::Wait(int seconds)
{
    for (int i = 0; i < seconds * 20; ++i) {
        int status = 0;
        if (::waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
            m_Pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(m_Pid, SIGKILL);
    ::waitpid(m_Pid, nullptr, 0);
    m_Pid = -1;
    return -1;
}

std::string ProgramRun::StdOut() const
{
    return ReadFileBytes(m_Out);
}

std::string ProgramRun::StdErr() const
{
    return ReadFileBytes(m_Err);
}

bool ProgramRun::WaitForStdErr(const std::string& text, int seconds) const
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (StdErr().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return true;
}

int RunProgram(const std::string& folder, const std::vector<std::string>& args, std::string* err,
               std::string* out, const std::vector<std::string>& environment)
{
    ProgramRun program(folder, args, environment);
    const int status = program.Wait();
    if (err)
        *err = program.StdErr();
    if (out)
        *out = program.StdOut();
    return status;
}

std::string ProgramBeside(const std::string& name)
{
    const std::string turnpost = TURNPOST_BINARY_PATH;
    return turnpost.substr(0, turnpost.rfind('/') + 1) + name;
}

} // namespace turnpost::test
