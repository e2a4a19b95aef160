#pragma once

#include "app/CommandLine.h"

#include <optional>

namespace turnpost {

/// What both programs do first: read the arguments, and answer --help and --version, which need
/// neither a display nor a connection. nullopt when that ended the program; exitStatus then holds
/// its status (2 for wrong usage).
std::optional<CommandLineOptions> StartProgram(int argc, char** argv, int& exitStatus);

} // namespace turnpost
