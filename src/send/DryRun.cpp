#include "send/DryRun.h"

#include "mail/MailAddress.h"
#include "mail/MailAttachment.h"
#include "mail/SMTPConnection.h"
#include "platform/Files.h"
#include "platform/UserInterface.h"
#include "send/ConnectionSettings.h"
#include "send/FailureText.h"
#include "send/Placeholders.h"
#include "send/TurnCheck.h"

#include <map>

namespace turnpost {

namespace {

/// Why the address would be refused, or empty.
std::string AddressProblem(const std::string& address)
{
    const std::string trimmed = CMailAddress(address).TrimmedAddress();
    if (trimmed.empty())
        return "no e-mail address";
    if (!CMailAddress::IsUsable(trimmed))
        return "Invalid e-mail address: " + CMailAddress::Escaped(trimmed);
    return {};
}

std::string SecurityName(SmtpSecurity security)
{
    switch (security) {
    case SmtpSecurity::StartTls:
        return "STARTTLS";
    case SmtpSecurity::ImplicitTls:
        return "SSL/TLS";
    case SmtpSecurity::None:
        break;
    }
    return "no encryption";
}

std::string CheckServer(const GameSetup& setup, const ConnectionSettings& connection, bool& ready)
{
    ready = false;
    const std::string prefix = "[Server] ";
    if (setup.SmtpServer.empty())
        return prefix + "** ERROR: No SMTP server specified: check your mail settings!";
    if (const std::string problem = AddressProblem(setup.ReturnAddress); !problem.empty())
        return prefix + "** ERROR: return address: " + problem;
    if (!connection.Error.empty())
        return prefix + "** ERROR: " + connection.Error;
    CSMTPConnection smtp;
    connection.Apply(smtp);
    if (!connection.Connect(smtp, "the check"))
        return prefix + "** ERROR: " + FailureText(smtp.GetError());
    smtp.Disconnect();
    ready = true;
    std::string line = prefix + "OK: " + setup.SmtpServer + ", " + SecurityName(connection.Security);
    if (!connection.User.empty())
        line += ", logged in as " + connection.User;
    return line;
}

} // namespace

bool DryRunOutcome::WouldMailEverybody() const
{
    if (!ServerReady)
        return false;
    for (const Player& player : Players)
        if (!player.Attempt.Sent)
            return false;
    return true;
}

std::string DryRunOutcome::Text() const
{
    std::string text = Note.empty() ? std::string() : Note + "\n";
    for (const Player& player : Players)
        text += player.Attempt.Result + "\n";
    return text + ServerLine + "\n";
}

std::string DryRunOutcome::Verdict() const
{
    return WouldMailEverybody() ? "Send would mail every selected player; nothing was mailed now."
                                : "Send would not mail every selected player; nothing was mailed now.";
}

DryRunOutcome CheckSendRun(GameDocument& document, IUserInterface& ui)
{
    DryRunOutcome outcome;
    ui.GatherRows();
    const GameSetup& setup = document.Setup;
    const std::int32_t playerNumber = document.CurrentPlayerNumber;
    outcome.Year = ReadGameYear(HostFilePath(setup.UniverseFile));

    const TurnCheck turns = TurnChecksWanted(setup) ? CheckGameFiles(setup) : TurnCheck{};
    outcome.Note = turns.Note;
    CAttachmentDigests digests;
    // Each file is read as a real run reads it, once however many players get it.
    std::map<std::string, bool> readable;
    const auto canRead = [&](const std::string& path) {
        auto known = readable.find(path);
        if (known == readable.end()) {
            CMailAttachment attachment;
            known = readable.emplace(path, attachment.Load(path)).first;
        }
        return known->second;
    };

    for (int index = 0; index < PlayerCount; ++index) {
        const PlayerSlot& slot = setup.Players[static_cast<std::size_t>(index)];
        if (!slot.Selected)
            continue;
        document.CurrentPlayerNumber = index + 1;
        DryRunOutcome::Player player;
        PlayerAttempt& attempt = player.Attempt;
        attempt.Time = AttemptTime();
        attempt.Year = outcome.Year;
        attempt.Player = index + 1;
        attempt.Address = slot.EmailAddress;
        attempt.Files = digests.ForPlayer(setup, index);
        player.Subject = ExpandPlaceholders(setup.MessageSubject, document);
        (void)ExpandPlaceholders(setup.MessageText, document);

        const std::string prefix = "[Player " + std::to_string(index + 1) + "] ";
        std::string problem = turns.Refusals[static_cast<std::size_t>(index)];
        if (problem.empty())
            problem = AddressProblem(slot.EmailAddress);
        for (const AttachedFile& file : attempt.Files)
            if (problem.empty() && !canRead(file.Path))
                problem = "Could not open file: " + file.Path;
        if (!problem.empty()) {
            attempt.Result = prefix + "** ERROR: " + problem;
        } else {
            attempt.Sent = true;
            attempt.Result = prefix + "OK: " + CMailAddress(slot.EmailAddress).TrimmedAddress() + ", \"" +
                             player.Subject + "\"";
            std::string names;
            for (const AttachedFile& file : attempt.Files)
                names += (names.empty() ? "" : " + ") + FileNameOf(file.Path);
            attempt.Result += names.empty() ? ", no files" : ", " + names;
        }
        outcome.Players.push_back(std::move(player));
    }
    document.CurrentPlayerNumber = playerNumber;

    const ConnectionSettings connection = ConnectionSettings::ForRun(document, ui, !setup.SmtpServer.empty());
    outcome.ServerLine = CheckServer(setup, connection, outcome.ServerReady);
    connection.ForgetRefusedPassword(ui);
    return outcome;
}

} // namespace turnpost
