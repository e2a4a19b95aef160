// The desktop program: started by turnpost, with the same arguments, when a window is wanted.
#include "app/CommandLine.h"
#include "app/WindowedRun.h"

#include <iostream>

using namespace turnpost;

int main(int argc, char** argv)
{
    const CommandLineOptions options = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!options.Error.empty()) {
        std::cerr << "turnpost: " << options.Error << "\n\n" << UsageText();
        return 2;
    }
    return RunWindowed(argc, argv, options);
}
