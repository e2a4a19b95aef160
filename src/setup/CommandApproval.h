#pragma once

#include <string>

namespace turnpost {

/// The password commands this user has allowed to run, each for one setup file. A setup file may come
/// from anyone (a co-host, a forum post), so a command read from one runs only after the user said yes
/// to that very command for that very file. Kept in $XDG_CONFIG_HOME/turnpost/approved-commands
/// (~/.config when the variable is unset), one SHA-256 of file and command per line, mode 0600.

/// The file the approvals are kept in; empty when there is no home folder to put it in.
std::string ApprovalFilePath();

/// The setup file's path as approvals know it: absolute, with links and "." or ".." resolved.
std::string CanonicalSetupPath(const std::string& path);

bool IsCommandApproved(const std::string& setupPath, const std::string& command);

/// Records the approval of command for setupPath. False with the reason in error when the record
/// cannot be written.
bool ApproveCommand(const std::string& setupPath, const std::string& command, std::string& error);

} // namespace turnpost
