#pragma once

#include "support/TempDir.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace turnpost::test {

/// The turnpost program run as a script runs it: no display, standard output and error caught in
/// files of dir, nothing on standard input.
struct ProgramRun
{
    pid_t Pid = -1;
    std::string Out, Err;

    /// binary: the program's path (the tests have it as TURNPOST_BINARY_PATH).
    ProgramRun(const std::string& binary, const TempDir& dir, const std::vector<std::string>& args);
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    /// The exit status (128 + the signal when one ended it), or -1 when it has not ended in time.
    int Wait(int seconds = 60);
    std::string StdOut() const { return ReadFileBytes(Out); }
    std::string StdErr() const { return ReadFileBytes(Err); }
};

} // namespace turnpost::test
