#pragma once

#include <string>
#include <vector>

namespace turnpost {

/// The program's arguments in UTF-8, its own name first. Windows hands the C library's argv over in
/// the ANSI code page, which loses what it cannot show, so there they are read again in UTF-16;
/// elsewhere they are argv as it is.
std::vector<std::string> ProgramArguments(int argc, char** argv);

/// Makes the console show the program's UTF-8 output as such (Windows' console takes another code
/// page unless told); elsewhere the terminal already does.
void UseUtf8Console();

/// True when there is a graphical session to open a window in.
bool HasDisplay();

/// The path of the running program's own file; empty when the system does not tell.
std::string OwnProgramPath();

/// True when path names a file this user may run as a program.
bool IsRunnableProgram(const std::string& path);

/// Replaces this process by the program at path, with argv (argv[0] first, ending in a null pointer)
/// as its arguments. Returns only when that cannot be done: with the errno that says why.
int ReplaceProcess(const std::string& path, char** argv);

} // namespace turnpost
