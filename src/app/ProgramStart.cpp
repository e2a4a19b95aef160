#include "app/ProgramStart.h"

#include "platform/Signals.h"

namespace turnpost {

std::optional<CommandLineOptions> StartProgram(int argc, char** argv, int& exitStatus)
{
    // A save that runs into the shell's file-size limit then fails and cleans up like any other.
    IgnoreFileSizeSignal();
    std::optional<CommandLineOptions> options = ParseProgramArguments(argc, argv);
    if (!options) {
        exitStatus = 2;
        return std::nullopt;
    }
    if (options->Help || options->Version) {
        exitStatus = PrintHelpOrVersion(*options);
        return std::nullopt;
    }
    return options;
}

} // namespace turnpost
