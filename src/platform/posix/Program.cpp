#include "platform/Program.h"

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace turnpost {

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

void UseUtf8Console() {}

bool HasDisplay()
{
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

std::string OwnProgramPath()
{
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0)
        return {};
    path.resize(static_cast<std::size_t>(n));
    return path;
}

bool IsRunnableProgram(const std::string& path)
{
    return ::access(path.c_str(), X_OK) == 0;
}

int ReplaceProcess(const std::string& path, char** argv)
{
    ::execv(path.c_str(), argv);
    return errno;
}

} // namespace turnpost
