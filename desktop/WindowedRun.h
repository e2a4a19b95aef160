#pragma once

#include "app/CommandLine.h"

namespace turnpost {

/// The desktop program: the main window on a fresh setup, the command line carried out before it is
/// first shown, and the event loop until the window closes.
int RunWindowed(int& argc, char** argv, const CommandLineOptions& options);

} // namespace turnpost
