#pragma once

#include "platform/UserInterface.h"
#include "setup/GameSetup.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace turnpost {

/// The commands this user has allowed to run (password commands and the turn generation), each for one setup
/// file and for one place its secret goes to. A setup file may come from anyone (a co-host, a forum post), so
/// a command read from one runs only after the user said yes to that very command, in that very file, giving
/// its secret to that very server, security and user. Kept in $XDG_CONFIG_HOME/turnpost/approved-commands
/// (~/.config when the variable is unset), one SHA-256 of file, command and destination per line, mode
/// 0600, and trusted only while the folder and the file are the user's alone. A setup file is known by
/// its AbsolutePath, however it was named.

/// The file the approvals are kept in; empty when there is no home folder to put it in.
std::string ApprovalFilePath();

/// Where the setup's mail password goes: its SMTP server, security and user.
SecretDestination SmtpDestination(const GameSetup& setup);

/// Where the mailbox password goes: the collect server, its security (named apart from the mail
/// server's, so that an approval given for one never lets a command's secret go to the other) and user.
SecretDestination CollectDestination(const GameSetup& setup);

/// What the generation command is approved for. It gives no secret away, but it runs whatever it says
/// on the host's machine; its own destination keeps an approval of a password command from approving
/// it and the other way round (no server's security is ever empty).
SecretDestination GenerationDestination();

/// "host at smtp.example.org:587 (STARTTLS)": the destination as the host is shown it; "turn
/// generation" for the generation command.
std::string DestinationText(const SecretDestination& to);

struct ApprovalLookup
{
    bool Approved = false;
    /// Why the approvals cannot be trusted (the folder or file may be changed by others); the command
    /// must then not run. Empty otherwise.
    std::string Error;
};

ApprovalLookup LookUpApproval(const std::string& setupPath, const std::string& command,
                              const SecretDestination& to);

/// True only when the approval is kept in a store that can be trusted.
bool IsCommandApproved(const std::string& setupPath, const std::string& command, const SecretDestination& to);

/// Records the approval of command for setupPath and destination, under a lock so that approvals given
/// at the same time by other runs are kept. False with the reason in error when the record cannot be
/// written or the store cannot be trusted.
bool ApproveCommand(const std::string& setupPath, const std::string& command, const SecretDestination& to,
                    std::string& error);

/// The command as it is shown for approval: nothing in it can hide a part of it. Each line break is
/// shown as "⏎" before the break itself, a tab as "\t", other control characters, bytes that are not
/// UTF-8 and characters that are invisible or turn the text around (bidirectional marks, zero-width
/// characters) as "\x1b" or "\u202e".
std::string VisibleCommand(std::string_view command);

/// How many lines the command has: one more than its line breaks.
std::size_t CommandLineCount(std::string_view command);

} // namespace turnpost
