#include "app/DesktopLauncher.h"

#include "platform/Files.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <unistd.h>

namespace turnpost {

namespace {

#ifdef TURNPOST_DESKTOP_PROGRAM
std::string OwnFolder()
{
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0)
        return {};
    path.resize(static_cast<std::size_t>(n));
    return FolderOf(path);
}
#endif

} // namespace

std::string FindDesktopProgram()
{
#ifdef TURNPOST_DESKTOP_PROGRAM
    const std::string folder = OwnFolder();
    if (folder.empty())
        return {};
    for (const std::string& candidate :
         {folder + "/" TURNPOST_DESKTOP_PROGRAM,
          folder + "/" TURNPOST_LIBEXEC_FROM_BIN "/" TURNPOST_DESKTOP_PROGRAM}) {
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
#endif
    return {};
}

int StartDesktop(char** argv)
{
#ifndef TURNPOST_DESKTOP_PROGRAM
    (void)argv;
    std::cerr << "turnpost: this build has no windows; use --no-gui with -S or -X to send without one"
                 " (see --help)\n";
    return 2;
#else
    const std::string program = FindDesktopProgram();
    if (program.empty()) {
        std::cerr << "turnpost: the window program " TURNPOST_DESKTOP_PROGRAM
                     " is not installed beside this one; use --no-gui with -S or -X to send without a"
                     " window (see --help)\n";
        return 2;
    }
    ::execv(program.c_str(), argv);
    std::cerr << "turnpost: cannot start " << program << ": " << std::strerror(errno) << '\n';
    return 1;
#endif
}

} // namespace turnpost
