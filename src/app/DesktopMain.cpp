// The desktop program: started by turnpost, with the same arguments, when a window is wanted.
#include "app/CommandLine.h"
#include "app/WindowedRun.h"
#include "platform/Signals.h"
#include "platform/Version.h"

#include <cstdlib>
#include <iostream>

using namespace turnpost;

int main(int argc, char** argv)
{
    // A save that runs into the shell's file-size limit then fails and cleans up like any other.
    IgnoreFileSizeSignal();
    const std::optional<CommandLineOptions> parsed = ParseProgramArguments(argc, argv);
    if (!parsed)
        return 2;
    const CommandLineOptions& options = *parsed;
    // Answered before Qt is started, so that they work without a display, as turnpost's do.
    if (options.Help || options.Version)
        return PrintHelpOrVersion(options);
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
