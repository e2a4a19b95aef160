#pragma once

#include <string>

namespace turnpost {

/// The program that opens windows lives apart, so that a run without a window never loads Qt.
/// Where it is looked for, in this order: beside this program (a build tree), then in the
/// installation's private program folder. Empty when neither holds it.
std::string FindDesktopProgram();

/// Replaces this process by the desktop program with the same arguments. Returns only when that
/// cannot be done, with the exit status after a message on standard error.
int StartDesktop(char** argv);

} // namespace turnpost
