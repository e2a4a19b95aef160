// The desktop program: started by turnpost, with the same arguments, when a window is wanted.
#include "WindowedRun.h"
#include "app/CommandLine.h"
#include "app/ProgramStart.h"

#include <cstdlib>
#include <iostream>

using namespace turnpost;

int main(int argc, char** argv)
{
    // --help and --version are answered before Qt is started, so they work without a display.
    int status = 0;
    const std::optional<CommandLineOptions> started = StartProgram(argc, argv, status);
    if (!started)
        return status;
    const CommandLineOptions& options = *started;
    if (const std::string headless = HeadlessOnlySwitch(options); !headless.empty()) {
        std::cerr << "turnpost-desktop: " << headless << " runs without a window: use turnpost " << headless
                  << " instead\n";
        return 2;
    }
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    // A platform named by hand (offscreen, vnc) needs no display either.
    if (!set("DISPLAY") && !set("WAYLAND_DISPLAY") && !set("QT_QPA_PLATFORM")) {
        std::cerr << "turnpost-desktop: no display to open a window on (neither DISPLAY nor WAYLAND_DISPLAY "
                     "is set); turnpost --no-gui runs without one\n";
        return 1;
    }
    return RunWindowed(argc, argv, options);
}
