#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace turnpost::test {

/// The program run as a script runs it: no display, standard input from /dev/null, its output caught
/// in files of the given folder.
class ProgramRun
{
public:
    /// Starts the program; environment holds "NAME=value" words added to this process's own.
    ProgramRun(const std::string& folder, const std::vector<std::string>& args,
               const std::vector<std::string>& environment = {});
    /// The same for another program of the build, such as the desktop program beside turnpost.
    ProgramRun(const std::string& binary, const std::string& folder, const std::vector<std::string>& args,
               const std::vector<std::string>& environment);
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    /// The exit status (128 + signal for a killed program), or -1 when it has not ended within the
    /// time; it is then killed, so a hang fails the test instead of holding it.
    int Wait(int seconds = 60);

    std::string StdOut() const;
    std::string StdErr() const;
    /// Waits until the program's standard error holds text, at most about ten seconds; true when it
    /// came. The output so far stays in StdErr for the failure message.
    bool WaitForStdErr(const std::string& text, int seconds = 10) const;
    /// For sending it signals, as a terminal would.
    pid_t Pid() const { return m_Pid; }

private:
    pid_t m_Pid = -1;
    std::string m_Out, m_Err;
};

/// Runs the program to its end (at most a minute) and gives its exit status and output.
int RunProgram(const std::string& folder, const std::vector<std::string>& args, std::string* err = nullptr,
               std::string* out = nullptr, const std::vector<std::string>& environment = {});

/// The path of a program built beside turnpost ("turnpost-desktop").
std::string ProgramBeside(const std::string& name);

} // namespace turnpost::test
