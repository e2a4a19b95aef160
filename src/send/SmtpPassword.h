#pragma once

#include "setup/GameSetup.h"

#include <optional>
#include <string>

namespace turnpost {

class IUserInterface;
struct SecretDestination;

/// Where a password command came from, which decides whether it needs the host's approval to run.
struct CommandSource
{
    /// The setup file it was read from; empty for a command the host typed himself, which is his own.
    std::string SetupFile;

    /// The document's command: from its file while it is the one the file held, typed otherwise.
    static CommandSource Of(const GameDocument& document);
    /// A command the host typed into this program, not read from any file.
    static CommandSource Typed() { return {}; }
};

/// Whether a command may run: typed by the host, approved before for its setup file and destination,
/// or approved now through the user interface (a headless run cannot, and is refused with the
/// --allow-command to give). what names the command in the error ("Password command").
bool MayRunCommand(const std::string& what, const std::string& command, const CommandSource& source,
                   const SecretDestination& to, IUserInterface& ui, std::string& error);

/// The one way a password command runs. A command read from a setup file runs only when the host has
/// approved it for that file and for the place its secret goes to, or does so now when the user
/// interface can ask; a headless run cannot, and is refused with the --allow-command to give. The
/// first line of its output comes back; it is killed after timeout milliseconds. nullopt with error set
/// when it may not run or fails.
std::optional<std::string> RunApprovedCommand(const std::string& command, const CommandSource& source,
                                              const SecretDestination& to, int timeout, IUserInterface& ui,
                                              std::string& error);

/// The mail password for the setup's SmtpUser: from TURNPOST_SMTP_PASSWORD, else from the first line of
/// the output of SmtpPasswordCommand (see RunApprovedCommand; its secret goes to the setup's server),
/// else asked of the user. nullopt with error set when none can be had. askedOfUser, when given, tells
/// whether the answer came from the user interface. The command gets the setup's SMTP time-out.
std::optional<std::string> ObtainSmtpPassword(const GameSetup& setup, const CommandSource& source,
                                              IUserInterface& ui, std::string& error,
                                              bool* askedOfUser = nullptr);

/// The longest password line a command may give.
inline constexpr std::size_t MaxPasswordLine = 4096;

/// "user@server": what the user interface asks the password for, and what a keyring keeps it under.
std::string PasswordAccount(const GameSetup& setup);

} // namespace turnpost
