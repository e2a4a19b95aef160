#include "app/DesktopLauncher.h"

#include "platform/Files.h"
#include "platform/Program.h"

#include <cstring>
#include <iostream>

namespace turnpost {

namespace {

#ifdef TURNPOST_DESKTOP_PROGRAM
std::string OwnFolder()
{
    const std::string path = OwnProgramPath();
    return path.empty() ? std::string() : FolderOf(path);
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
        if (IsRunnableProgram(candidate))
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
    const int error = ReplaceProcess(program, argv);
    std::cerr << "turnpost: cannot start " << program << ": " << std::strerror(error) << '\n';
    return 1;
#endif
}

} // namespace turnpost
