#pragma once

#include <string>

namespace turnpost {

// Where the user's own files live, and the two ways a path is resolved.

/// The user's home folder: $HOME, else the password database's entry; empty when there is none.
std::string HomeFolder();

/// The folder for the user's settings: $XDG_CONFIG_HOME when it is absolute, else ~/.config; empty
/// when there is no home folder.
std::string ConfigFolder();

/// Turnpost's own folder inside ConfigFolder, named as each system names its programs' folders
/// ("turnpost" on Linux, "Turnpost" on Windows); empty when there is no home folder.
std::string ProgramSettingsFolder();

/// The path made absolute, with links and "." or ".." resolved where it exists; otherwise joined to the
/// working folder as it stands. What names one file however it was reached (approvals key on it).
std::string AbsolutePath(const std::string& path);

/// The name the symbolic links at path lead to, which need not exist: the file a save of path
/// replaces, and so the one whose companions (ledger, lock) belong to it. path itself when the links
/// cannot be followed (a loop); a path without links comes back unchanged.
std::string FollowLinks(const std::string& path);

/// The same in place, saying why the links cannot be followed: false with ELOOP after as many links as
/// the system itself follows, or the errno of a link that cannot be read.
bool FollowLinks(std::string& path, int& error);

} // namespace turnpost
