#include "app/CommandOptions.h"

#include "app/CommandLine.h"

namespace turnpost {

namespace {

using O = CommandLineOptions;

const CommandOption Options[] = {
    {"-O", "", "FILE.tpf", OptionKind::Switch, nullptr, &O::Open, nullptr, false, false,
     "open the game setup (FILE.tpf alone does the same)",
     "Open the game setup. A *FILE.tpf* given without a switch is opened the same way."},
    {"-S", "", "FILE.tpf", OptionKind::Switch, nullptr, &O::Send, nullptr, false, false,
     "open the game setup and send the turn",
     "Open the game setup and send the turn; the window stays open. Without a window it acts as `-X`."},
    {"-X", "", "FILE.tpf", OptionKind::Switch, nullptr, &O::Exit, nullptr, false, false,
     "open, send, and end the program", "Open the game setup, send the turn and end the program."},
    {"--no-gui", "", "", OptionKind::Flag, &O::NoGui, nullptr, nullptr, false, true,
     "run without a window (also when there is no display): messages and progress on standard error, -S "
     "acts as -X",
     "Run without any window, also where a display is available."},
    {"--export", "", "FILE.tpf", OptionKind::File, nullptr, &O::ExportFile, nullptr, true, true,
     "print the game setup as JSON on standard output", "Print the game setup as JSON on standard output."},
    {"--import", "", "FILE.json FILE.tpf", OptionKind::TwoFiles, nullptr, &O::ImportJson, &O::ImportTarget,
     true, true, "write a game setup from JSON",
     "Write a game setup from JSON; unknown fields and wrong types are refused and nothing is written."},
    {"--check", "", "FILE.tpf", OptionKind::TurnFile, nullptr, &O::Check, nullptr, false, true,
     "do everything up to sending and mail nobody",
     "Do everything a send does up to the mail itself: expand the subjects, read and check every ticked "
     "player's files and address, connect, greet, start TLS and log in, then end without mailing anybody. "
     "One line per ticked player and one for the server; status 0 only when a real run would mail "
     "everybody."},
    {"--resend-failed", "", "FILE.tpf", OptionKind::TurnFile, nullptr, &O::ResendFailed, nullptr, false, true,
     "mail only the players with no delivery this year",
     "Mail only the ticked players whose ledger holds no delivery of the same turn file (size and SHA-256) "
     "to the same address for the same game and turn (without a turn file: the same address, game and "
     "year). A ledger that exists but cannot be read stops the resend with status 1."},
    {"--status", "", "FILE.tpf", OptionKind::TurnFile, nullptr, &O::Status, nullptr, false, true,
     "each player's last result this year, from the ledger, and whether his orders are in",
     "Print each ticked player's last result and time for the mail he would get now, from the ledger, "
     "then whether his order file for the host file's current turn is in the game folder (and why a file "
     "there does not count); status 0 only when every one of them has had his mail, 1 also when the "
     "ledger cannot be read."},
    {"--html", "", "PAGE.html", OptionKind::File, nullptr, &O::Html, nullptr, false, true,
     "with --status: also write a page for the players",
     "With `--status`: also write *PAGE.html*, a self-contained page for the players with the game, the "
     "year, the deadline and whose orders are in, and no addresses or file paths; it replaces the old page "
     "only once wholly written."},
    {"--collect", "", "FILE.tpf", OptionKind::TurnFile, nullptr, &O::Collect, nullptr, false, true,
     "take this turn's orders from the setup's mailbox into the game folder",
     "Take the players' order files for the host file's current turn from the setup's mailbox into the "
     "game folder, file each message away as processed or rejected, and acknowledge each sender when the "
     "setup says so. One line per message and a summary of whose orders are in on standard output; status "
     "0 when the collection ran (refused orders included), 1 when the host file, the mailbox, the login or "
     "a write failed. A host file that the host is writing stops the collection before the mailbox is "
     "opened."},
    {"--remind", "", "FILE.tpf", OptionKind::TurnFile, nullptr, &O::Remind, nullptr, false, true,
     "mail a reminder to each player whose orders are not in",
     "Mail the setup's reminder to each ticked player whose orders for the host file's current turn are "
     "not in the game folder, once per game year, all over one connection, and record each in the ledger. "
     "With a deadline nothing is sent until it is less than the setup's reminder hours away (a deadline "
     "that has passed still lets them go), so the same line may run from cron every hour. One line per "
     "ticked player; status 0 when every reminder that was due went out, also when none was due, 1 when "
     "one failed or the host file, the ledger or the lock stopped the run."},
    {"--force", "", "", OptionKind::Flag, &O::Force, nullptr, nullptr, false, true,
     "with --remind: remind now, also players reminded this year",
     "With `--remind`: remind now, before the reminder time and also the players reminded this year."},
    {"--turn-done", "", "FILE.tpf", OptionKind::TurnFile, nullptr, &O::TurnDone, nullptr, false, true,
     "status 0 when all orders are in or the deadline passed, 1 while waiting",
     "Say in one line whether the turn may be generated: status 0 when every ticked player's orders for "
     "the host file's current turn are in or the deadline has passed, 1 while orders are awaited, 3 when it "
     "cannot be told (the setup or the host file cannot be read, the host file is in use, the ledger that "
     "holds the deadline cannot be read). The first check that finds the turn done mails the report "
     "address once per game year when the setup says so (`NotifyHostWhenDone`); a notice that failed is "
     "tried again by the next check and does not change the status. Made for `turnpost --turn-done "
     "game.tpf && generate`."},
    {"--generate", "", "FILE.tpf", OptionKind::TurnFile, nullptr, &O::Generate, nullptr, false, true,
     "back up the game files and run the setup's generate command",
     "Generate the next turn: copy the game files beside the universe file to *backup/YEAR/* (kept when a "
     "complete backup of that year is there), run the setup's generate command in the game folder once it "
     "has been allowed for this setup file (see `--allow-command`; stopped after 10 minutes), and check that "
     "the host file has moved on to a later turn. One line per step on standard output; status 0 when the "
     "turn moved on, 1 when a step failed."},
    {"--advance", "", "FILE.tpf", OptionKind::TurnFile, nullptr, &O::Advance, nullptr, false, true,
     "collect, and when the turn is done generate it and send the new turns",
     "End the turn when it is done, as cron would run it every hour: collect the orders (when the setup "
     "names a mailbox), check that the turn is done as `--turn-done` does, then do what `--generate` does "
     "and send the new turns as `-X` does. Each step says what it did in one line; a step that fails stops "
     "the chain and the host is mailed its lines at the report address. Status 0 when the new turns went "
     "out, 1 when a step failed, 4 while orders are awaited and the deadline has not passed (nothing "
     "generated)."},
    {"--json", "", "", OptionKind::Flag, &O::Json, nullptr, nullptr, false, true,
     "with -X, --check, --resend-failed, --collect or --remind: the outcome as one JSON object on "
     "standard output",
     "With `-X`, `--check`, `--resend-failed`, `--collect` or `--remind`: print the outcome as one JSON "
     "object on standard output instead of the summary."},
    {"--allow-command", "", "FILE.tpf", OptionKind::File, nullptr, &O::AllowCommand, nullptr, true, true,
     "show the setup's password and generate commands and allow them to run for this setup file",
     "Show each password command kept in the game setup, the mail server's and the mailbox's (control "
     "characters and line breaks made visible, with the server, security and user its password goes to), "
     "and its generate command, and allow each to run for that setup file and that destination (the "
     "generate command for the turn generation alone); a changed command, server, security or user needs "
     "a new allowance. A command read from a setup file runs only once it has been allowed, here or by "
     "answering the desktop's question."},
    {"--help", "-h", "", OptionKind::Flag, &O::Help, nullptr, nullptr, false, false, "show this text",
     "Show a short usage text."},
    {"--version", "", "", OptionKind::Flag, &O::Version, nullptr, nullptr, false, false,
     "show the program's version", "Show the program's version."},
    {"--", "", "", OptionKind::EndOfOptions, nullptr, nullptr, nullptr, false, false,
     "take every later word as a setup file",
     "Take every later word as a setup file to open, even one that begins with a dash."},
};

/// roff takes a plain hyphen as a hyphen that may break; options want the minus sign.
std::string RoffText(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c == '-' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

/// The manual's markup: `option` in bold, *placeholder* in italics.
std::string RoffParagraph(std::string_view text)
{
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const char mark = text[i];
        const std::size_t end = mark == '`' || mark == '*' ? text.find(mark, i + 1) : std::string_view::npos;
        if (end != std::string_view::npos) {
            out += mark == '`' ? "\\fB" : "\\fI";
            out += RoffText(text.substr(i + 1, end - i - 1));
            out += "\\fR";
            i = end + 1;
        } else {
            out += RoffText(text.substr(i, 1));
            ++i;
        }
    }
    return out;
}

} // namespace

std::span<const CommandOption> CommandOptionTable()
{
    return Options;
}

bool OptionGiven(const CommandOption& option, const CommandLineOptions& given)
{
    if (option.Flag)
        return given.*option.Flag;
    return option.File && (given.*option.File).has_value();
}

std::string OptionLabel(const CommandOption& option)
{
    std::string label = option.Name;
    if (*option.Alias)
        label += std::string(", ") + option.Alias;
    if (*option.Arguments)
        label += std::string(" ") + option.Arguments;
    return label;
}

std::string ManualOptionsSection()
{
    std::string out;
    for (const CommandOption& option : Options) {
        out += ".TP\n.B " + RoffText(option.Name);
        if (*option.Alias)
            out += ", " + RoffText(option.Alias);
        if (*option.Arguments)
            out += " \\fI" + RoffText(option.Arguments) + "\\fR";
        out += "\n" + RoffParagraph(option.Manual) + "\n";
    }
    return out;
}

} // namespace turnpost
