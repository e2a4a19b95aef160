#include "setup/CommandApproval.h"

#include "platform/Digest.h"
#include "platform/Files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace turnpost {

namespace {

std::string ConfigFolder()
{
    // XDG base directory rules ignore a relative XDG_CONFIG_HOME.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return config;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = ::getpwuid(::geteuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!home || !*home)
        return {};
    return std::string(home) + "/.config";
}

// The file and the command are joined by a zero byte, which neither can hold, so no other pair hashes
// the same text.
std::string ApprovalKey(const std::string& setupPath, const std::string& command)
{
    return Sha256Hex(CanonicalSetupPath(setupPath) + '\0' + command);
}

} // namespace

std::string ApprovalFilePath()
{
    const std::string folder = ConfigFolder();
    return folder.empty() ? std::string() : folder + "/turnpost/approved-commands";
}

std::string CanonicalSetupPath(const std::string& path)
{
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        std::string canonical = resolved;
        std::free(resolved);
        return canonical;
    }
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

bool IsCommandApproved(const std::string& setupPath, const std::string& command)
{
    std::string approvals;
    const std::string file = ApprovalFilePath();
    if (file.empty() || !ReadWholeFile(file, approvals))
        return false;
    const std::string key = ApprovalKey(setupPath, command);
    for (std::size_t at = 0; at < approvals.size();) {
        std::size_t end = approvals.find('\n', at);
        if (end == std::string::npos)
            end = approvals.size();
        if (approvals.compare(at, end - at, key) == 0)
            return true;
        at = end + 1;
    }
    return false;
}

bool ApproveCommand(const std::string& setupPath, const std::string& command, std::string& error)
{
    const std::string file = ApprovalFilePath();
    if (file.empty()) {
        error = "no home folder to keep the approval in";
        return false;
    }
    if (IsCommandApproved(setupPath, command))
        return true;
    // The folders are made for this user alone; existing ones are left as the user set them.
    const std::string turnpostFolder = FolderOf(file);
    const std::string configFolder = FolderOf(turnpostFolder);
    for (const std::string& folder : {configFolder, turnpostFolder}) {
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "Could not make " + folder + ": " + FileErrorText(errno);
            return false;
        }
    }
    std::string approvals;
    ReadWholeFile(file, approvals);
    if (!approvals.empty() && approvals.back() != '\n')
        approvals += '\n';
    approvals += ApprovalKey(setupPath, command) + '\n';
    const WriteResult written = WriteFileAtomically(file, approvals, SpecialTarget::Refuse, 0600);
    if (!written.ok()) {
        error = WriteErrorMessage(written.error, file);
        return false;
    }
    return true;
}

} // namespace turnpost
