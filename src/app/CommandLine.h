#pragma once

#include "send/SendRun.h"
#include "setup/GameSetup.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace turnpost {

class IUserInterface;

/// What the words after the program's name ask for.
struct CommandLineOptions
{
    std::optional<std::string> Open; ///< "-O FILE", or a bare FILE
    std::optional<std::string> Send; ///< "-S FILE"
    std::optional<std::string> Exit; ///< "-X FILE"
    bool Help = false;
    bool Version = false;
    bool NoGui = false;
    std::optional<std::string> ExportFile;
    std::optional<std::string> ImportJson;
    std::optional<std::string> ImportTarget;
    std::optional<std::string> AllowCommand; ///< "--allow-command FILE.tpf"
    std::optional<std::string> Check;        ///< --check FILE: everything but the mailing
    std::optional<std::string> Status;       ///< --status FILE: the ledger's word on this year
    std::optional<std::string> ResendFailed; ///< --resend-failed FILE
    std::optional<std::string> Collect;      ///< --collect FILE: the orders from the mailbox
    std::optional<std::string> Generate;     ///< --generate FILE: the next turn, from GenerateCommand
    std::optional<std::string> Advance;      ///< --advance FILE: collect, generate when done, send
    std::optional<std::string> Html;         ///< --html PAGE: with --status, a page for the players
    std::optional<std::string> Remind;       ///< --remind FILE: players whose orders are not in
    std::optional<std::string> TurnDone;     ///< --turn-done FILE: may the turn be generated?
    bool Force = false;                      ///< with --remind: remind now, whoever was reminded
    bool Json = false;                       ///< the outcome as JSON on standard output
    /// Not empty when the words are not understood: the reason, for the usage message.
    std::string Error;
    bool HasSwitches() const { return Open || Send || Exit; }
    bool HasTurnCommand() const
    {
        return Check || Status || ResendFailed || Collect || Remind || TurnDone || Generate || Advance;
    }
};

/// Reads the arguments. A switch is a word that begins with -O, -S or -X in either case; its argument
/// is the rest of that word or, when that is empty, the next word. The first occurrence of each counts.
CommandLineOptions ParseCommandLine(const std::vector<std::string>& args);

/// The text of --help.
std::string UsageText();

/// --help or --version: prints the usage or the version on standard output; the exit status.
int PrintHelpOrVersion(const CommandLineOptions& options);

/// The first switch of options that only the headless program carries out ("--check", "--no-gui",
/// ...), or empty. The desktop program refuses such a command line and names turnpost instead.
std::string HeadlessOnlySwitch(const CommandLineOptions& options);

/// The options of main's arguments. A mistake is told on standard error, followed by the usage, and
/// gives nullopt: the program then ends with status 2.
std::optional<CommandLineOptions> ParseProgramArguments(int argc, char** argv);

using SendFunction = std::function<SendOutcome(GameDocument&, IUserInterface&)>;

struct CommandLineResult
{
    bool EndProgram = false; ///< the run is over ("-X", or any switch without a window)
    int ExitStatus = 0;      ///< 0 all done, 1 a file could not be read or a send failed
};

/// Carries out -O, -S and -X, in that order. Without a window "-S" acts as "-X". A file that cannot be
/// opened leaves the setup as it was and the next switch still runs; a broken file stops the processing.
CommandLineResult ProcessCommandLine(const CommandLineOptions& options, GameDocument& document,
                                     IUserInterface& ui, bool windowed, const SendFunction& send = OnSend);

/// The whole of a run without a window: messages and progress on standard error, Ctrl+C as Cancel.
int RunHeadless(const CommandLineOptions& options);

/// --export FILE.tpf: the setup as JSON on standard output. --import FILE.json FILE.tpf.
int ExportSetup(const std::string& setupPath);
int ImportSetup(const std::string& jsonPath, const std::string& setupPath);

/// --allow-command FILE.tpf: prints the setup's password commands (the mail server's and the
/// mailbox's) and approves each for that file and its destination.
int AllowPasswordCommand(const std::string& setupPath);

} // namespace turnpost
