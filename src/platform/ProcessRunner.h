#pragma once

#include <cstddef>
#include <string>

namespace turnpost {

/// How a command run by RunForFirstLine ended, and the first line it wrote.
struct CommandOutcome
{
    enum class End
    {
        Exited,    ///< Status holds its exit status
        Signalled, ///< Status holds the signal that ended it
        TimedOut,  ///< it was stopped, with everything it started
        NotRun,    ///< it could not be started or waited for; Error holds errno
    };
    End How = End::NotRun;
    int Status = 0;
    int Error = 0;
    /// The first line of its standard output, without the line feed.
    std::string FirstLine;
    /// The first line was longer than the limit; FirstLine is then empty.
    bool LineTooLong = false;
};

/// Runs the command line through the system's shell, as a user would type it (pipes, quoting, ~ and
/// variables work), in a process group of its own. Its output is read to the end, so that it never
/// blocks on a full pipe, but only the first line is kept, up to maxLine bytes. When it has not ended
/// after timeoutMs milliseconds the whole group is killed. It runs in folder when one is given, else in
/// the current one.
CommandOutcome RunForFirstLine(const std::string& command, int timeoutMs, std::size_t maxLine,
                               const std::string& folder = {});

} // namespace turnpost
