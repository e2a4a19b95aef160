#pragma once

#include "platform/SmtpOptions.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace turnpost {

constexpr int PlayerCount = 16;

/// One player's place in the game. Slot index 0 is "Player 1".
struct PlayerSlot
{
    std::int32_t Selected = 0;
    std::string EmailAddress;
    std::string PlayerFile;

    bool operator==(const PlayerSlot&) const = default;
};

/// Everything needed to mail one game's turn files. Texts are UTF-8; flags are kept as read (any
/// non-zero value is on); times are milliseconds as typed.
struct GameSetup
{
    std::string GameName;
    std::string UniverseFile;
    std::string SmtpServer;
    std::string ReturnAddress;
    std::string MessageSubject;
    std::int32_t UseDefaultMessage = 0;
    std::string MessageText;
    std::int32_t SendPlayerFile = 1;
    std::int32_t SendUniverseFile = 0;
    std::int32_t SendAdditionalFiles = 0;
    std::int32_t SmtpTimeout = DefaultSmtpTimeout;
    std::int32_t PauseAfterConnection = 0;
    std::int32_t DisplaySummary = 1;
    std::int32_t SaveReportToFile = 0;
    std::int32_t EmailReport = 0;
    std::string ReportFile;
    std::string ReportAddress;
    std::int32_t DetailedReport = 0;
    std::array<PlayerSlot, PlayerCount> Players{};

    // Mail submission: an SmtpSecurity value. An empty user means no login.
    std::int32_t SmtpSecurity = 0;
    std::string SmtpUser;
    std::string SmtpPasswordCommand;
    // An SmtpLoginMethod value: what the password command or the dialog gives.
    std::int32_t SmtpLoginMethod = 0;
    // On: each player's turn file header is checked before any mail goes out.
    std::int32_t CheckTurnFiles = 1;
    /// Further files that every mailed player gets while SendAdditionalFiles is on, one path per line;
    /// "%P" in a path stands for the player's number (race%P.r1), so each may get his own.
    std::string AdditionalFiles;

    // Collecting the players' orders from an IMAP mailbox: "host" or "host:port" (993 with implicit
    // TLS, 143 otherwise), an ImapSecurity value (plain text only to this machine), the login, and how
    // the password command's secret is used (0 password, 1 OAuth2 bearer token).
    std::string CollectServer;
    std::int32_t CollectSecurity = 2;
    std::string CollectUser;
    std::string CollectPasswordCommand;
    std::int32_t CollectLoginMethod = 0;
    /// Where orders arrive, and where their messages go once taken or refused; '/' between levels.
    std::string CollectFolder = "INBOX";
    std::string ProcessedFolder = "Turnpost/Processed";
    std::string RejectedFolder = "Turnpost/Rejected";
    /// On: each sender of an order file gets a reply saying whether it was taken; %R is the result.
    std::int32_t AcknowledgeOrders = 1;
    std::string AcknowledgeSubject = "%G: %R";
    std::string AcknowledgeText = "%R\r\n";
    /// Hours the players have after this year's first turn mail; 0 means no deadline ("%D" is empty).
    std::int32_t TurnDeadlineHours = 0;
    /// How long before the deadline a player without orders is reminded.
    std::int32_t RemindHoursBefore = 24;
    /// The reminder to a player whose orders are not in. A line of the text that holds "%D" is left
    /// out when there is no deadline, so the default reads well either way.
    std::string ReminderSubject = "%G: your orders for %Y are not in yet";
    std::string ReminderText = "Your orders for %G, year %Y, have not reached the host yet.\r\n"
                               "The deadline is %D.\r\n";
    /// On: the first check that finds the turn done (all orders in, or the deadline passed) mails the
    /// report address, once per year.
    std::int32_t NotifyHostWhenDone = 1;
    /// The command line that generates the next turn once the orders are in; empty for none. It runs
    /// only after the host approved it for this setup file, as a password command does.
    std::string GenerateCommand;
    /// Entries of the setup file's extension block that this program does not know (a newer one wrote
    /// them), kept in their order so that a save gives them back.
    std::vector<std::pair<std::string, std::string>> ExtensionFields;

    bool operator==(const GameSetup&) const = default;
};

inline constexpr const char* UntitledPath = "Untitled";

/// The one setup of the program and the state kept beside it.
struct GameDocument
{
    GameSetup Setup;
    /// The file the setup was last read from or written to; "Untitled" when never.
    std::string FilePath = UntitledPath;
    /// Unsaved changes: drives the "Save changes?" prompt.
    std::int32_t Modified = 0;
    /// What the main window's rows show: 0 e-mail addresses, 1 player files.
    int DisplayMode = 0;
    /// On while the command line is carried out: the send run then asks nothing.
    std::int32_t CommandLineRun = 0;
    /// The player of the slot the send run works on; the value of "%P".
    std::int32_t CurrentPlayerNumber = 0;
    /// The password command as the file last read or written held it. While the setup's command is
    /// this one it came from a file and needs the user's approval to run; one typed since does not.
    std::string PasswordCommandFromFile;
    /// The same for the mailbox's password command.
    std::string CollectPasswordCommandFromFile;
    /// The same for the generation command.
    std::string GenerateCommandFromFile;

    bool operator==(const GameDocument&) const = default;
};

} // namespace turnpost
