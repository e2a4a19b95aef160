// The desktop program: started by turnpost, with the same arguments, when a window is wanted.
#include "app/CommandLine.h"
#include "app/WindowedRun.h"

using namespace turnpost;

int main(int argc, char** argv)
{
    const std::optional<CommandLineOptions> parsed = ParseProgramArguments(argc, argv);
    if (!parsed)
        return 2;
    return RunWindowed(argc, argv, *parsed);
}
