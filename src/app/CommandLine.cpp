#include "app/CommandLine.h"

#include "app/ConsoleUserInterface.h"
#include "app/JsonSetup.h"
#include "app/TurnCommands.h"
#include "platform/Files.h"
#include "platform/UserFolders.h"
#include "platform/Version.h"
#include "setup/CommandApproval.h"
#include "setup/SetupFile.h"

#include <cctype>
#include <iostream>
#include <utility>

namespace turnpost {

namespace {

/// A switch word is "-O", "-S" or "-X" in either case, possibly with its argument attached.
char SwitchLetter(const std::string& word)
{
    if (word.size() < 2 || word[0] != '-')
        return 0;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(word[1])));
    return letter == 'O' || letter == 'S' || letter == 'X' ? letter : 0;
}

} // namespace

CommandLineOptions ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLineOptions options;
    auto fail = [&](std::string reason) {
        if (options.Error.empty())
            options.Error = std::move(reason);
        return options;
    };
    bool onlyFiles = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        const auto next = [&]() -> std::optional<std::string> {
            if (i + 1 < args.size())
                return args[++i];
            return std::nullopt;
        };
        if (!onlyFiles && word == "--") {
            onlyFiles = true;
        } else if (!onlyFiles && (word == "--help" || word == "-h")) {
            options.Help = true;
        } else if (!onlyFiles && word == "--version") {
            options.Version = true;
        } else if (!onlyFiles && word == "--no-gui") {
            options.NoGui = true;
        } else if (!onlyFiles && word == "--export") {
            options.ExportFile = next();
            if (!options.ExportFile)
                return fail("--export needs a setup file");
        } else if (!onlyFiles && word == "--allow-command") {
            options.AllowCommand = next();
            if (!options.AllowCommand)
                return fail("--allow-command needs a setup file");
        } else if (!onlyFiles && word == "--import") {
            options.ImportJson = next();
            options.ImportTarget = next();
            if (!options.ImportTarget)
                return fail("--import needs a JSON file and a setup file");
        } else if (!onlyFiles && (word == "--check" || word == "--status" || word == "--resend-failed")) {
            auto& slot = word == "--check"    ? options.Check
                         : word == "--status" ? options.Status
                                              : options.ResendFailed;
            // "--check --json FILE" reads as it is meant.
            for (; i + 1 < args.size() && (args[i + 1] == "--json" || args[i + 1] == "--no-gui"); ++i)
                options.Json = options.Json || args[i + 1] == "--json";
            slot = next();
            if (!slot)
                return fail(word + " needs a setup file");
        } else if (!onlyFiles && word == "--json") {
            options.Json = true;
        } else if (const char letter = onlyFiles ? 0 : SwitchLetter(word)) {
            // The argument is the rest of the word or, when that is empty, the next word; a switch at
            // the very end has an empty argument, which then fails to open like any missing file.
            std::string argument = word.substr(2);
            if (argument.empty())
                argument = next().value_or("");
            auto& slot = letter == 'O' ? options.Open : letter == 'S' ? options.Send : options.Exit;
            if (!slot)
                slot = argument;
        } else if (!onlyFiles && word.size() > 1 && word[0] == '-') {
            return fail("unknown option " + word);
        } else if (!options.Open) {
            // What a file manager passes: open it as -O would.
            options.Open = word;
        }
    }
    const int alone =
        (options.ExportFile ? 1 : 0) + (options.ImportJson ? 1 : 0) + (options.AllowCommand ? 1 : 0);
    if ((alone > 0 && options.HasSwitches()) || alone > 1)
        return fail("--export, --import and --allow-command stand alone");
    if (const std::string problem = TurnCommandConflict(options); !problem.empty())
        return fail(problem);
    return options;
}

std::string UsageText()
{
    return "Usage: turnpost [options] [FILE.tpf]\n"
           "Mails the turn files of a Stars! game to its players.\n"
           "\n"
           "  FILE.tpf, -O FILE.tpf   open the game setup\n"
           "  -S FILE.tpf             open the game setup and send the turn\n"
           "  -X FILE.tpf             open, send, and end the program\n"
           "  --no-gui                run without a window (also when there is no display):\n"
           "                          messages and progress on standard error, -S acts as -X\n"
           "  --export FILE.tpf       print the game setup as JSON on standard output\n"
           "  --import FILE.json FILE.tpf\n"
           "                          write a game setup from JSON\n"
           "  --check FILE.tpf        do everything up to sending and mail nobody\n"
           "  --resend-failed FILE.tpf\n"
           "                          mail only the players with no delivery this year\n"
           "  --status FILE.tpf       each player's last result this year, from the ledger\n"
           "  --json                  with -X, --check or --resend-failed: the outcome as\n"
           "                          one JSON object on standard output\n"
           "  --allow-command FILE.tpf\n"
           "                          show the setup's password command and allow it to run\n"
           "                          for this setup file\n"
           "  --help                  show this text\n"
           "  --version               show the program's version\n"
           "\n"
           "Switches may be written in either case and take their file as the next word or\n"
           "attached (-Sgame.tpf). Exit status: 0 all done, 1 a setup file could not be read\n"
           "or a player, the report file or the report mail failed, or the run was cancelled,\n"
           "2 wrong usage.\n";
}

int PrintHelpOrVersion(const CommandLineOptions& options)
{
    std::cout << (options.Help ? UsageText() : std::string(ProgramName) + "\n");
    return 0;
}

std::string HeadlessOnlySwitch(const CommandLineOptions& options)
{
    const std::pair<bool, const char*> switches[] = {
        {options.NoGui, "--no-gui"},
        {options.ExportFile.has_value(), "--export"},
        {options.ImportJson.has_value(), "--import"},
        {options.AllowCommand.has_value(), "--allow-command"},
        {options.Check.has_value(), "--check"},
        {options.Status.has_value(), "--status"},
        {options.ResendFailed.has_value(), "--resend-failed"},
        {options.Json, "--json"},
    };
    for (const auto& [given, name] : switches)
        if (given)
            return name;
    return {};
}

std::optional<CommandLineOptions> ParseProgramArguments(int argc, char** argv)
{
    CommandLineOptions options = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!options.Error.empty()) {
        std::cerr << "turnpost: " << options.Error << "\n\n" << UsageText();
        return std::nullopt;
    }
    return options;
}

CommandLineResult ProcessCommandLine(const CommandLineOptions& options, GameDocument& document,
                                     IUserInterface& ui, bool windowed, const SendFunction& send)
{
    CommandLineResult result;
    document.CommandLineRun = 1;
    bool stopped = false;

    // Reads one switch's file; a broken file (one that opens but does not load) ends the processing.
    auto read = [&](const std::string& path) {
        const SetupReadStatus status = ReadSetupFileStatus(path, document, ui);
        if (status == SetupReadStatus::Loaded)
            return true;
        result.ExitStatus = 1;
        // A missing file lets the next switch run; a damaged one stops the processing.
        stopped = status == SetupReadStatus::Damaged;
        return false;
    };
    auto sendNow = [&] {
        if (!send(document, ui).Succeeded())
            result.ExitStatus = 1;
    };

    if (options.Open)
        read(*options.Open);
    if (!stopped && options.Send && read(*options.Send))
        sendNow();
    if (!stopped && options.Exit) {
        if (read(*options.Exit))
            sendNow();
        if (!stopped)
            result.EndProgram = true;
    }
    document.CommandLineRun = 0;

    // Without a window there is nothing to stay open for.
    if (!windowed)
        result.EndProgram = true;
    return result;
}

int RunHeadless(const CommandLineOptions& options)
{
    if (!options.HasSwitches() && !options.ResendFailed) {
        std::cerr << "turnpost: no display to open a window on; give -S or -X to send (see --help)\n";
        return 2;
    }
    GameDocument document;
    CConsoleUserInterface ui;
    CConsoleUserInterface::InstallInterruptHandler();
    CommandLineOptions headless = options;
    if (options.ResendFailed)
        headless.Exit = options.ResendFailed;
    // There is no window to stay open: "-S" sends and ends like "-X".
    if (headless.Send && !headless.Exit) {
        headless.Exit = headless.Send;
        headless.Send.reset();
    }
    auto send = [&](GameDocument& doc, IUserInterface& services) {
        SendOutcome outcome = options.ResendFailed ? OnResendFailed(doc, services) : OnSend(doc, services);
        if (options.Json)
            PrintOutcomeJson(doc, outcome, options.ResendFailed ? "resend-failed" : "send", std::cout);
        ui.ReportOutcome(doc, outcome, !options.Json);
        return outcome;
    };
    return ProcessCommandLine(headless, document, ui, false, send).ExitStatus;
}

int ExportSetup(const std::string& setupPath)
{
    GameDocument document;
    CConsoleUserInterface ui;
    if (!ReadSetupFile(setupPath, document, ui))
        return 1;
    std::cout << SetupToJson(document.Setup) << '\n';
    return std::cout ? 0 : 1;
}

int AllowPasswordCommand(const std::string& setupPath)
{
    GameDocument document;
    CConsoleUserInterface console;
    IUserInterface& ui = console;
    if (!ReadSetupFile(setupPath, document, ui))
        return 1;
    const std::string& command = document.Setup.SmtpPasswordCommand;
    if (command.empty()) {
        ui.MessageBox(setupPath + " has no password command.");
        return 1;
    }
    // Shown as the desktop shows it: a carriage return or an escape sequence could otherwise make the
    // terminal show a harmless command in place of the one approved.
    const std::string file = AbsolutePath(setupPath);
    const SecretDestination to = SmtpDestination(document.Setup);
    const std::size_t lines = CommandLineCount(command);
    std::cout << "Setup file: " << VisibleCommand(file) << "\n"
              << "The password goes to: " << VisibleCommand(DestinationText(to)) << "\n"
              << "Command (" << lines << (lines == 1 ? " line" : " lines") << "):\n"
              << VisibleCommand(command) << '\n';
    std::string error;
    if (!ApproveCommand(setupPath, command, to, error)) {
        ui.MessageBox(error);
        return 1;
    }
    ui.MessageBox("Password command allowed for " + VisibleCommand(file) + ".");
    return std::cout.flush() ? 0 : 1;
}

int ImportSetup(const std::string& jsonPath, const std::string& setupPath)
{
    CConsoleUserInterface console;
    IUserInterface& ui = console;
    std::string text;
    int error = 0;
    if (!ReadWholeFile(jsonPath, text, &error)) {
        ui.MessageBox(CouldNotOpenMessage(jsonPath, error));
        return 1;
    }
    GameSetup setup;
    std::string problem;
    if (!SetupFromJson(text, setup, problem)) {
        ui.MessageBox(jsonPath + ": " + problem);
        return 1;
    }
    return WriteSetupFile(setupPath, setup, ui) ? 0 : 1;
}

} // namespace turnpost
