#include "app/CommandLine.h"
#include "app/DesktopLauncher.h"
#include "app/ProgramStart.h"
#include "app/TurnCommands.h"
#include "platform/Network.h"
#include "platform/Program.h"
#include "platform/Version.h"

#include <iostream>
#include <string>
#include <vector>

using namespace turnpost;

// Everything but the windows: this program links no Qt, so scripts and servers without it can run it.
int main(int argc, char** argv)
{
    UseUtf8Console();
    // Every layer takes the arguments as UTF-8, in argv's own shape.
    std::vector<std::string> arguments = ProgramArguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    argc = static_cast<int>(arguments.size());
    argv = pointers.data();

    int status = 0;
    const std::optional<CommandLineOptions> started = StartProgram(argc, argv, status);
    if (!started)
        return status;
    const CommandLineOptions& options = *started;
    if (options.ExportFile)
        return ExportSetup(*options.ExportFile);
    if (options.AllowCommand)
        return AllowPasswordCommand(*options.AllowCommand);
    if (options.ImportJson)
        return ImportSetup(*options.ImportJson, *options.ImportTarget);

    if (options.Status)
        return PrintDeliveryStatus(*options.Status, options.Html);
    if (options.Generate)
        return RunGenerate(*options.Generate);

#ifdef TURNPOST_NO_WINDOWS
    // A build that never has a window program: every switch runs as it does without a display, so
    // that a script's "-X FILE" sends rather than asks for a window.
    const bool display = false;
#else
    const bool display = HasDisplay();
#endif
    // What prints for a script never opens a window.
    if (options.NoGui || !display || options.HasTurnCommand() || options.Json) {
        if (!StartNetwork()) {
            std::cerr << "turnpost: Windows sockets initialization failed.\n";
            return 1;
        }
        if (options.Check)
            return RunCheck(*options.Check, options.Json);
        if (options.Collect)
            return RunCollect(*options.Collect, options.Json);
        if (options.Remind)
            return RunRemind(*options.Remind, options.Force, options.Json);
        if (options.TurnDone)
            return RunTurnDone(*options.TurnDone);
        if (options.Advance)
            return RunAdvance(*options.Advance);
        return RunHeadless(options);
    }
    return StartDesktop(argv);
}
