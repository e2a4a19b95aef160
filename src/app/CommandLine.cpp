#include "app/CommandLine.h"

#include "app/CommandOptions.h"
#include "app/ConsoleUserInterface.h"
#include "app/JsonSetup.h"
#include "app/TurnCommands.h"
#include "collect/ImapPassword.h"
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
const CommandOption* SwitchOption(const std::string& word)
{
    if (word.size() < 2 || word[0] != '-')
        return nullptr;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(word[1])));
    for (const CommandOption& option : CommandOptionTable())
        if (option.Kind == OptionKind::Switch && option.Name[1] == letter)
            return &option;
    return nullptr;
}

/// The option spelled exactly as word, other than a switch.
const CommandOption* NamedOption(const std::string& word)
{
    for (const CommandOption& option : CommandOptionTable())
        if (option.Kind != OptionKind::Switch && (word == option.Name || word == option.Alias))
            return &option;
    return nullptr;
}

/// Words wrapped to the usage text's second column.
void AppendWrapped(std::string& out, const std::string& text, std::size_t column, std::size_t width)
{
    std::size_t lineLength = column;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string word = text.substr(start, end - start);
        if (lineLength > column && lineLength + 1 + word.size() > width) {
            out += '\n' + std::string(column, ' ');
            lineLength = column;
        } else if (lineLength > column) {
            out += ' ';
            ++lineLength;
        }
        out += word;
        lineLength += word.size();
        start = end + 1;
    }
    out += '\n';
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
        if (const CommandOption* option = onlyFiles ? nullptr : NamedOption(word)) {
            switch (option->Kind) {
            case OptionKind::EndOfOptions:
                onlyFiles = true;
                break;
            case OptionKind::Flag:
                options.*option->Flag = true;
                break;
            case OptionKind::TurnFile:
                // "--check --json FILE" and "--remind --force FILE" read as they are meant.
                for (const CommandOption* flag; i + 1 < args.size() && (flag = NamedOption(args[i + 1])) &&
                                                flag->Kind == OptionKind::Flag;
                     ++i)
                    options.*flag->Flag = true;
                [[fallthrough]];
            case OptionKind::File:
                options.*option->File = next();
                if (!(options.*option->File))
                    return fail(word + " needs a setup file");
                break;
            case OptionKind::TwoFiles:
                options.*option->File = next();
                options.*option->SecondFile = next();
                if (!(options.*option->SecondFile))
                    return fail(word + " needs a JSON file and a setup file");
                break;
            case OptionKind::Switch:
                break;
            }
        } else if (const CommandOption* option = onlyFiles ? nullptr : SwitchOption(word)) {
            // The argument is the rest of the word or, when that is empty, the next word; a switch at
            // the very end has an empty argument, which then fails to open like any missing file.
            std::string argument = word.substr(2);
            if (argument.empty())
                argument = next().value_or("");
            auto& slot = options.*option->File;
            if (!slot)
                slot = argument;
        } else if (!onlyFiles && word.size() > 1 && word[0] == '-') {
            return fail("unknown option " + word);
        } else if (!options.Open) {
            // What a file manager passes: open it as -O would.
            options.Open = word;
        }
    }
    int alone = 0;
    for (const CommandOption& option : CommandOptionTable())
        alone += option.StandsAlone && OptionGiven(option, options) ? 1 : 0;
    if ((alone > 0 && options.HasSwitches()) || alone > 1)
        return fail("--export, --import and --allow-command stand alone");
    if (const std::string problem = TurnCommandConflict(options); !problem.empty())
        return fail(problem);
    return options;
}

std::string UsageText()
{
    constexpr std::size_t column = 26, width = 80;
    std::string text = "Usage: turnpost [options] [FILE.tpf]\n"
                       "Mails the turn files of a Stars! game to its players.\n"
                       "\n";
    for (const CommandOption& option : CommandOptionTable()) {
        const std::string label = "  " + OptionLabel(option);
        text += label;
        if (label.size() + 2 > column)
            text += '\n' + std::string(column, ' ');
        else
            text += std::string(column - label.size(), ' ');
        AppendWrapped(text, option.Usage, column, width);
    }
    return text + "\n"
                  "Switches may be written in either case and take their file as the next word or\n"
                  "attached (-Sgame.tpf). Exit status: 0 all done, 1 a setup file could not be read\n"
                  "or a player, the report file or the report mail failed, or the run was cancelled\n"
                  "(--collect: the host file, the mailbox, the login or a write failed; --remind:\n"
                  "a due reminder failed or the host file or ledger could not be read; --generate:\n"
                  "a step failed), 2 wrong usage. --turn-done: 0 the turn is done, 1 orders are\n"
                  "awaited, 3 it cannot be told (the setup, the host file or the ledger cannot be\n"
                  "read). --advance: 0 the new turns went out, 1 a step failed (the host is mailed),\n"
                  "4 orders are awaited (nothing generated).\n";
}

int PrintHelpOrVersion(const CommandLineOptions& options)
{
    std::cout << (options.Help ? UsageText() : std::string(ProgramName) + "\n");
    return 0;
}

std::string HeadlessOnlySwitch(const CommandLineOptions& options)
{
    for (const CommandOption& option : CommandOptionTable())
        if (option.HeadlessOnly && OptionGiven(option, options))
            return option.Name;
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
#ifdef TURNPOST_NO_WINDOWS
        std::cerr << "turnpost: this build has no windows; give -S or -X to send (see --help)\n";
#else
        std::cerr << "turnpost: no display to open a window on; give -S or -X to send (see --help)\n";
#endif
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
    // The mail server's command, the mailbox's and the turn generation: each approval names its own
    // destination, so one never lets the other's secret go elsewhere or run in its place.
    struct Command
    {
        const std::string& Text;
        SecretDestination To;
    };
    std::vector<Command> commands;
    if (!document.Setup.SmtpPasswordCommand.empty())
        commands.push_back({document.Setup.SmtpPasswordCommand, SmtpDestination(document.Setup)});
    if (!document.Setup.CollectPasswordCommand.empty())
        commands.push_back({document.Setup.CollectPasswordCommand, CollectDestination(document.Setup)});
    const bool generation = !document.Setup.GenerateCommand.empty();
    if (generation)
        commands.push_back({document.Setup.GenerateCommand, GenerationDestination()});
    if (commands.empty()) {
        ui.MessageBox(setupPath + " has no password command.");
        return 1;
    }
    // Shown as the desktop shows it: a carriage return or an escape sequence could otherwise make the
    // terminal show a harmless command in place of the one approved.
    const std::string file = AbsolutePath(setupPath);
    std::cout << "Setup file: " << VisibleCommand(file) << "\n";
    for (const Command& command : commands) {
        const std::size_t lines = CommandLineCount(command.Text);
        if (command.To == GenerationDestination())
            std::cout << "Generates the next turn\n";
        else
            std::cout << "The password goes to: " << VisibleCommand(DestinationText(command.To)) << "\n";
        std::cout << "Command (" << lines << (lines == 1 ? " line" : " lines") << "):\n"
                  << VisibleCommand(command.Text) << '\n';
        std::string error;
        if (!ApproveCommand(setupPath, command.Text, command.To, error)) {
            ui.MessageBox(error);
            return 1;
        }
    }
    const char* allowed = generation ? (commands.size() == 1 ? "Generation command" : "Commands")
                                     : (commands.size() == 1 ? "Password command" : "Password commands");
    ui.MessageBox(std::string(allowed) + " allowed for " + VisibleCommand(file) + ".");
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
