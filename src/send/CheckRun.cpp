#include "send/CheckRun.h"

#include "game/HostFile.h"
#include "mail/MailAddress.h"
#include "mail/MailAttachment.h"
#include "mail/SMTPConnection.h"
#include "platform/Files.h"
#include "platform/UserInterface.h"
#include "send/BusyGuard.h"
#include "send/ConnectionSettings.h"
#include "send/FailureText.h"
#include "send/Placeholders.h"
#include "send/PlayerVerdict.h"
#include "send/TurnCheck.h"

#include <map>

namespace turnpost {

namespace {

/// smtpUtf8: some address needs SMTPUTF8, so the server is greeted with EHLO to learn whether it
/// offers it; smtpUtf8Offered then tells.
/// loginRefused: the server refused the login, so a password it was given is not to be offered again.
std::string CheckServer(const GameSetup& setup, const ConnectionSettings& connection, bool smtpUtf8,
                        bool& ready, bool& smtpUtf8Offered, bool& loginRefused)
{
    ready = false;
    loginRefused = false;
    smtpUtf8Offered = false;
    const std::string prefix = "[Server] ";
    if (setup.SmtpServer.empty())
        return prefix + "** ERROR: No SMTP server specified: check your mail settings!";
    if (const std::string problem = AddressProblem(setup.ReturnAddress); !problem.empty())
        return prefix + "** ERROR: return address: " + problem;
    if (!connection.Error.empty())
        return prefix + "** ERROR: " + connection.Error;
    CSMTPConnection smtp;
    connection.Apply(smtp);
    smtp.SetSmtpUtf8Wanted(smtpUtf8);
    if (!smtp.Connect(connection.Server)) {
        loginRefused = smtp.GetError().LoginRefused();
        return prefix + "** ERROR: " + FailureText(smtp.GetError());
    }
    smtpUtf8Offered = smtp.OffersSmtpUtf8();
    smtp.Disconnect();
    ready = true;
    std::string line =
        prefix + "OK: " + setup.SmtpServer + ", " + SecurityName(static_cast<int>(connection.Security));
    if (!connection.User.empty())
        line += ", logged in as " + connection.User;
    return line;
}

} // namespace

bool CheckRunOutcome::WouldMailEverybody() const
{
    if (!ServerReady)
        return false;
    for (const Player& player : Players)
        if (!player.Attempt.Sent)
            return false;
    return true;
}

std::string CheckRunOutcome::Text() const
{
    std::string text = Note.empty() ? std::string() : Note + "\n";
    for (const Player& player : Players)
        text += player.Attempt.Result + "\n";
    return text + ServerLine + "\n";
}

std::string CheckRunOutcome::Verdict() const
{
    return WouldMailEverybody() ? "Send would mail every selected player; nothing was mailed now."
                                : "Send would not mail every selected player; nothing was mailed now.";
}

CheckRunOutcome CheckSendRun(GameDocument& document, IUserInterface& ui)
{
    CheckRunOutcome outcome;
    ui.View().GatherRows();
    const GameSetup& setup = document.Setup;
    const std::int32_t playerNumber = document.CurrentPlayerNumber;
    outcome.Year = ReadGameYear(HostFilePath(setup.UniverseFile));

    const TurnCheck turns = TurnChecksWanted(setup) ? CheckGameFiles(setup) : TurnCheck{};
    outcome.Note = turns.Note;
    CAttachmentDigests digests;
    // Each file is read as a real run reads it, once however many players get it; what keeps it from
    // being mailed is said in the run's words.
    std::map<std::string, std::string> fileProblems;
    const auto fileProblem = [&](const std::string& path) -> const std::string& {
        auto known = fileProblems.find(path);
        if (known == fileProblems.end()) {
            CMailAttachment attachment;
            known = fileProblems.emplace(path, attachment.Open(path) ? std::string() : attachment.GetError())
                        .first;
        }
        return known->second;
    };
    std::vector<std::string> addresses; // of the players who would be mailed, for SMTPUTF8

    for (int index = 0; index < PlayerCount; ++index) {
        const PlayerSlot& slot = setup.Players[static_cast<std::size_t>(index)];
        if (!slot.Selected)
            continue;
        document.CurrentPlayerNumber = index + 1;
        CheckRunOutcome::Player player;
        PlayerAttempt& attempt = player.Attempt;
        attempt.Time = AttemptTime();
        attempt.Year = outcome.Year;
        attempt.Player = index + 1;
        attempt.Address = slot.EmailAddress;
        attempt.Files = digests.ForPlayer(setup, index);
        player.Subject = ExpandPlaceholders(setup.MessageSubject, document);
        (void)ExpandPlaceholders(setup.MessageText, document);

        const std::string prefix = PlayerPrefix(index + 1);
        std::string problem = PlayerRefusal(setup, index, turns);
        for (const AttachedFile& file : attempt.Files)
            if (problem.empty())
                problem = fileProblem(file.Path);
        if (!problem.empty()) {
            attempt.Result = prefix + "** ERROR: " + problem;
        } else {
            attempt.Sent = true;
            attempt.Result = prefix + "OK: " + CMailAddress::FromMailbox(slot.EmailAddress).TrimmedAddress() +
                             ", \"" + player.Subject + "\"";
            std::string names;
            for (const AttachedFile& file : attempt.Files)
                names += (names.empty() ? "" : " + ") + FileNameOf(file.Path);
            attempt.Result += names.empty() ? ", no files" : ", " + names;
        }
        attempt.Result = PrintableLine(attempt.Result);
        addresses.push_back(attempt.Sent ? CMailAddress::FromMailbox(slot.EmailAddress).TrimmedAddress()
                                         : std::string());
        outcome.Players.push_back(std::move(player));
    }
    document.CurrentPlayerNumber = playerNumber;
    bool smtpUtf8 = false;
    for (const std::string& address : addresses)
        smtpUtf8 = smtpUtf8 || CMailAddress::NeedsSmtpUtf8(address);

    const ConnectionSettings connection = ConnectionSettings::ForRun(document, ui, !setup.SmtpServer.empty());
    bool smtpUtf8Offered = false;
    bool loginRefused = false;
    {
        // The server may take its time; the window stays live and untouched meanwhile, as during Send.
        const BusyGuard busy(ui);
        const auto progress = ui.CreateProgressWindow("Status");
        progress->SetRange(1, 1);
        progress->SetText("Checking the server " + setup.SmtpServer + "...");
        progress->RunWork([&] {
            outcome.ServerLine =
                CheckServer(setup, connection, smtpUtf8, outcome.ServerReady, smtpUtf8Offered, loginRefused);
        });
        progress->StepIt();
    }
    if (loginRefused)
        connection.ForgetRefusedPassword(ui);
    // Only the server can tell whether an address that needs SMTPUTF8 can go; the run's connection
    // refuses such a player in these words.
    for (std::size_t i = 0; i < outcome.Players.size(); ++i) {
        PlayerAttempt& attempt = outcome.Players[i].Attempt;
        if (outcome.ServerReady && !smtpUtf8Offered && CMailAddress::NeedsSmtpUtf8(addresses[i])) {
            attempt.Sent = false;
            attempt.Result = PlayerPrefix(attempt.Player) + "** ERROR: " + SmtpUtf8Refusal(addresses[i]);
        }
    }
    return outcome;
}

} // namespace turnpost
