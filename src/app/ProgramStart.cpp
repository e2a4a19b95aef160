#include "app/ProgramStart.h"

namespace turnpost {

std::optional<CommandLineOptions> StartProgram(int argc, char** argv, int& exitStatus)
{
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
