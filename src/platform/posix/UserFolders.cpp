#include "platform/UserFolders.h"

#include "platform/Files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace turnpost {

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    const passwd* user = ::getpwuid(::geteuid());
    return user && user->pw_dir ? std::string(user->pw_dir) : std::string();
}

std::string ConfigFolder()
{
    // XDG base directory rules ignore a relative XDG_CONFIG_HOME.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return config;
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/.config";
}

std::string ProgramSettingsFolder()
{
    const std::string config = ConfigFolder();
    return config.empty() ? std::string() : config + "/turnpost";
}

std::string AbsolutePath(const std::string& path)
{
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        std::string absolute = resolved;
        std::free(resolved);
        return absolute;
    }
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

bool FollowLinks(std::string& path, int& error)
{
    // A dangling link is followed too: saving creates what it points to.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st
        {
        };
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n <= 0) {
            error = n < 0 ? errno : ENOENT;
            return false;
        }
        target.resize(static_cast<std::size_t>(n));
        path = target.front() == '/' ? target : FolderOf(path) + "/" + target;
    }
    error = ELOOP;
    return false;
}

} // namespace turnpost
