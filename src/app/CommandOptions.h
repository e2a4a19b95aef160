#pragma once

#include <optional>
#include <span>
#include <string>

namespace turnpost {

struct CommandLineOptions;

/// How an option takes the words after it.
enum class OptionKind
{
    Switch,       ///< -O, -S, -X: either case, the file attached or the next word
    Flag,         ///< no argument
    File,         ///< one file
    TwoFiles,     ///< two files
    TurnFile,     ///< one file, which --json or --no-gui may precede
    EndOfOptions, ///< "--": every later word is a file to open
};

/// One option of the command line. The parser, --help and the manual page are all made from the table
/// of these, so that none of them can name an option the others do not know.
struct CommandOption
{
    const char* Name;      ///< "--check"
    const char* Alias;     ///< a second spelling ("-h"), or empty
    const char* Arguments; ///< "FILE.tpf", "FILE.json FILE.tpf", or empty
    OptionKind Kind;
    bool CommandLineOptions::*Flag;
    std::optional<std::string> CommandLineOptions::*File;
    std::optional<std::string> CommandLineOptions::*SecondFile;
    bool StandsAlone;  ///< may not be combined with -O/-S/-X nor with another such option
    bool HeadlessOnly; ///< carried out by turnpost alone; the desktop program refuses it
    const char* Usage; ///< the line of --help
    /// The manual's paragraph: plain text in which `-X` marks an option and *FILE* a placeholder.
    const char* Manual;
};

/// Every option, in the order --help and the manual list them.
std::span<const CommandOption> CommandOptionTable();

/// Whether the option was given in options.
bool OptionGiven(const CommandOption& option, const CommandLineOptions& given);

/// The words that introduce the option in --help and in the manual ("-X FILE.tpf").
std::string OptionLabel(const CommandOption& option);

/// The OPTIONS section of the manual page, in roff.
std::string ManualOptionsSection();

} // namespace turnpost
