#pragma once

#include <string>

namespace turnpost {

/// The path of the running program's own file; empty when the system does not tell.
std::string OwnProgramPath();

/// True when path names a file this user may run as a program.
bool IsRunnableProgram(const std::string& path);

/// Replaces this process by the program at path, with argv (argv[0] first, ending in a null pointer)
/// as its arguments. Returns only when that cannot be done: with the errno that says why.
int ReplaceProcess(const std::string& path, char** argv);

} // namespace turnpost
