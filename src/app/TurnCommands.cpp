#include "app/TurnCommands.h"

#include "app/ConsoleUserInterface.h"
#include "collect/CollectRun.h"
#include "collect/TurnAdvance.h"
#include "game/OrderFiles.h"
#include "mail/ServerText.h"
#include "platform/Files.h"
#include "send/CheckRun.h"
#include "send/DeliveryLedger.h"
#include "send/DeliveryStatus.h"
#include "send/PlayerVerdict.h"
#include "send/Reminders.h"
#include "send/StatusPage.h"
#include "send/TurnDeadline.h"
#include "send/TurnDone.h"
#include "send/TurnGeneration.h"
#include "setup/SetupFile.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <iostream>

namespace turnpost {

namespace {

using nlohmann::json;

json AttemptObject(const PlayerAttempt& attempt)
{
    json object = json::parse(AttemptToJson(attempt, false), nullptr, false);
    // Scripts look players up by number.
    object["number"] = attempt.Player;
    object.erase("player");
    return object;
}

std::chrono::sys_seconds Now()
{
    return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

/// Reads the setup for a run nobody watches: no question is asked (a command not yet allowed is refused
/// with the way to allow it), and Ctrl+C cancels between steps.
bool ReadForUnattendedRun(const std::string& setupPath, GameDocument& document, CConsoleUserInterface& ui)
{
    if (!ReadSetupFile(setupPath, document, ui))
        return false;
    CConsoleUserInterface::InstallInterruptHandler();
    document.CommandLineRun = 1;
    return true;
}

void Print(const json& object, std::ostream& out)
{
    out << object.dump(-1, ' ', false, json::error_handler_t::replace) << std::endl;
}

} // namespace

std::string TurnCommandConflict(const CommandLineOptions& options)
{
    const int commands = (options.Check ? 1 : 0) + (options.Status ? 1 : 0) + (options.ResendFailed ? 1 : 0) +
                         (options.Collect ? 1 : 0) + (options.Remind ? 1 : 0) + (options.TurnDone ? 1 : 0) +
                         (options.Generate ? 1 : 0) + (options.Advance ? 1 : 0);
    if (commands > 1 || (commands == 1 && (options.HasSwitches() || options.ExportFile ||
                                           options.ImportJson || options.AllowCommand)))
        return "--check, --status, --resend-failed, --collect, --remind, --turn-done, --generate and "
               "--advance "
               "stand alone";
    if (options.Force && !options.Remind)
        return "--force goes with --remind";
    if (options.Html && !options.Status)
        return "--html goes with --status";
    if (options.Json && !options.Exit && !options.Send && !options.Check && !options.ResendFailed &&
        !options.Collect && !options.Remind)
        return "--json goes with -X, --check, --resend-failed, --collect or --remind";
    return {};
}

int RunCheck(const std::string& setupPath, bool json)
{
    GameDocument document;
    CConsoleUserInterface ui;
    if (!ReadSetupFile(setupPath, document, ui))
        return 1;
    const CheckRunOutcome outcome = CheckSendRun(document, ui);
    if (!json) {
        std::cout << outcome.Text() << std::flush;
    } else {
        nlohmann::json players = nlohmann::json::array();
        for (const CheckRunOutcome::Player& player : outcome.Players) {
            nlohmann::json object = AttemptObject(player.Attempt);
            object.erase("sent");
            object.erase("reply");
            object["ready"] = player.Attempt.Sent;
            object["subject"] = player.Subject;
            players.push_back(std::move(object));
        }
        Print({{"mode", "check"},
               {"setup", setupPath},
               {"year", outcome.Year},
               {"note", outcome.Note},
               {"ok", outcome.WouldMailEverybody()},
               {"players", std::move(players)},
               {"server",
                {{"address", document.Setup.SmtpServer},
                 {"result", outcome.ServerLine},
                 {"ready", outcome.ServerReady}}}},
              std::cout);
    }
    return outcome.WouldMailEverybody() && std::cout ? 0 : 1;
}

int PrintDeliveryStatus(const std::string& setupPath, const std::optional<std::string>& htmlPage)
{
    GameDocument document;
    CConsoleUserInterface ui;
    if (!ReadSetupFile(setupPath, document, ui))
        return 1;
    const DeliveryStatus status = GetDeliveryStatus(document);
    for (const std::string& warning : status.Warnings)
        ui.MessageBox(warning, {}, MessageButtons::Ok, MessageIcon::Exclamation);
    std::string text = status.Text;
    std::string deadlineText;
    if (const auto deadline = GetTurnDeadline(document)) {
        const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
        deadlineText = FormatDeadline(*deadline) + " (" + TimeLeftText(*deadline, now) + ")";
        // Right under the heading, where a host looks first.
        const std::size_t heading = text.find('\n');
        text.insert(heading == std::string::npos ? text.size() : heading + 1,
                    "Deadline: " + deadlineText + "\n");
    }
    std::cout << text;
    // A setup that names no game has no host file to judge orders against, and nothing to collect.
    OrdersInFolder orders;
    if (!document.Setup.UniverseFile.empty()) {
        orders = FindOrdersInFolder(document.Setup.UniverseFile);
        std::cout << OrdersInText(document.Setup, orders);
    }
    std::cout << std::flush;
    bool pageWritten = true;
    if (htmlPage) {
        const WriteResult written =
            WriteFileAtomically(*htmlPage, StatusPageHtml(document.Setup, orders, deadlineText));
        if (!written.Ok()) {
            ui.MessageBox("The status page could not be written: " +
                              WriteErrorMessage(written.Error, *htmlPage),
                          {}, MessageButtons::Ok, MessageIcon::Exclamation);
            pageWritten = false;
        }
    }
    return status.Everybody && pageWritten && std::cout ? 0 : 1;
}

std::string OrdersInText(const GameSetup& setup, const OrdersInFolder& orders)
{
    if (!orders.Host.Ok)
        return "Orders cannot be checked: " + PrintableText(orders.Host.Error) + "\n";
    std::string text = "Orders for " + std::to_string(orders.Year) + " in the game folder:\n";
    for (int index = 0; index < PlayerCount; ++index) {
        if (!setup.Players[static_cast<std::size_t>(index)].Selected)
            continue;
        const PlayerOrders& player = orders.Players[static_cast<std::size_t>(index)];
        text += PlayerPrefix(index + 1);
        if (player.In)
            text += "orders in\n";
        else if (!player.Present)
            text += "no orders yet\n";
        else
            // The reason may name the file as it is called in the folder, which anyone could have named.
            text += "orders not counted: " + PrintableText(player.Problem) + "\n";
    }
    return text;
}

int RunCollect(const std::string& setupPath, bool json)
{
    GameDocument document;
    CConsoleUserInterface ui;
    if (!ReadForUnattendedRun(setupPath, document, ui))
        return 1;
    const CollectOutcome outcome = OnCollect(document, ui);
    if (json) {
        PrintCollectJson(document, outcome, std::cout);
    } else {
        // The lines (the summary last) carry file names, addresses and message ids as senders wrote
        // them.
        for (const std::string& line : outcome.Lines)
            std::cout << PrintableLine(line) << '\n';
        std::cout << std::flush;
    }
    if (!outcome.Error.empty())
        ui.MessageBox(outcome.Error, {}, MessageButtons::Ok, MessageIcon::Exclamation);
    return outcome.Succeeded() && std::cout ? 0 : 1;
}

int RunRemind(const std::string& setupPath, bool force, bool json)
{
    GameDocument document;
    CConsoleUserInterface ui;
    if (!ReadForUnattendedRun(setupPath, document, ui))
        return 1;
    const RemindOutcome outcome = OnRemind(document, ui, {Now(), force});
    for (const std::string& warning : outcome.LedgerWarnings)
        ui.MessageBox(PrintableLine(warning), {}, MessageButtons::Ok, MessageIcon::Exclamation);
    if (json) {
        nlohmann::json players = nlohmann::json::array();
        for (const ReminderRecord& reminder : outcome.Reminders)
            players.push_back({{"number", reminder.Player},
                               {"address", reminder.Address},
                               {"result", reminder.Result},
                               {"sent", reminder.Sent}});
        Print({{"mode", "remind"},
               {"setup", setupPath},
               {"year", outcome.Year},
               {"ok", outcome.Succeeded()},
               {"not_due", outcome.NotDue},
               {"cancelled", outcome.Cancelled},
               {"reminders", std::move(players)},
               {"lines", outcome.Lines},
               {"error", outcome.Error},
               {"ledger", outcome.LedgerError}},
              std::cout);
    } else {
        if (!outcome.NotDue.empty())
            std::cout << outcome.NotDue << '\n';
        for (const std::string& line : outcome.Lines)
            std::cout << line << '\n';
        std::cout << std::flush;
    }
    if (!outcome.Error.empty())
        ui.MessageBox(PrintableLine(outcome.Error), {}, MessageButtons::Ok, MessageIcon::Exclamation);
    if (!outcome.LedgerError.empty())
        ui.MessageBox("The delivery ledger could not be written: " + PrintableLine(outcome.LedgerError), {},
                      MessageButtons::Ok, MessageIcon::Exclamation);
    return outcome.Succeeded() && std::cout ? 0 : 1;
}

int RunTurnDone(const std::string& setupPath)
{
    GameDocument document;
    CConsoleUserInterface ui;
    if (!ReadSetupFile(setupPath, document, ui))
        return TurnDoneUnknown;
    document.CommandLineRun = 1;
    const auto now = Now();
    const TurnDoneState state = GetTurnDone(document, now);
    if (!state.Error.empty()) {
        ui.MessageBox("Cannot tell whether the turn is done: " + PrintableLine(state.Error), {},
                      MessageButtons::Ok, MessageIcon::Exclamation);
        return TurnDoneUnknown;
    }
    std::cout << TurnDoneText(state, now) << std::endl;
    const NoticeOutcome notice = NotifyHostIfDone(document, ui, state, now);
    // The turn is done whether or not the host heard of it; the next check tries the notice again.
    if (!notice.Error.empty())
        ui.MessageBox(PrintableLine(notice.Error), {}, MessageButtons::Ok, MessageIcon::Exclamation);
    return state.Done ? 0 : 1;
}

int RunGenerate(const std::string& setupPath)
{
    GameDocument document;
    CConsoleUserInterface ui;
    if (!ReadForUnattendedRun(setupPath, document, ui))
        return 1;
    const GenerationOutcome outcome = GenerateTurn(document, ui);
    for (const std::string& line : outcome.Lines)
        std::cout << PrintableLine(line) << '\n';
    std::cout << std::flush;
    if (!outcome.Ok)
        ui.MessageBox(outcome.Error, {}, MessageButtons::Ok, MessageIcon::Exclamation);
    return outcome.Ok && std::cout ? 0 : 1;
}

int RunAdvance(const std::string& setupPath)
{
    GameDocument document;
    CConsoleUserInterface ui;
    if (!ReadForUnattendedRun(setupPath, document, ui))
        return 1;
    const AdvanceOutcome outcome = OnAdvance(document, ui, Now());
    // The lines carry what the mailbox, the server and the generation command said.
    for (const std::string& line : outcome.Lines)
        std::cout << PrintableLine(line) << '\n';
    std::cout << std::flush;
    if (!outcome.NoticeError.empty())
        ui.MessageBox(PrintableLine(outcome.NoticeError), {}, MessageButtons::Ok, MessageIcon::Exclamation);
    if (!std::cout)
        return 1;
    switch (outcome.result) {
    case AdvanceOutcome::Result::Advanced:
        return 0;
    case AdvanceOutcome::Result::Waiting:
        return AdvanceWaiting;
    case AdvanceOutcome::Result::Failed:
        break;
    }
    return 1;
}

void PrintCollectJson(const GameDocument& document, const CollectOutcome& outcome, std::ostream& out)
{
    static const char* const Results[] = {"taken", "replaced", "refused"};
    json orders = json::array();
    for (const CollectedOrder& order : outcome.Orders) {
        const bool known = order.PlayerIndex >= 0 && order.PlayerIndex < PlayerCount;
        orders.push_back({{"player", known ? json(order.PlayerIndex + 1) : json(nullptr)},
                          {"file", order.FileName},
                          {"size", order.Size},
                          {"sha256", order.Sha256},
                          {"sender", order.Sender},
                          {"message_id", order.MessageId},
                          {"result", Results[order.result]},
                          {"reason", order.Reason}});
    }
    json in = json::array();
    for (int index = 0; index < PlayerCount; ++index)
        if (outcome.OrdersIn[static_cast<std::size_t>(index)])
            in.push_back(index + 1);
    Print({{"mode", "collect"},
           {"setup", document.FilePath},
           {"year", outcome.Year},
           {"ok", outcome.Succeeded()},
           {"cancelled", outcome.Cancelled},
           {"orders", std::move(orders)},
           {"summary", outcome.Summary},
           {"orders_in", std::move(in)},
           {"error", outcome.Error}},
          out);
}

void PrintOutcomeJson(const GameDocument& document, const SendOutcome& outcome, const std::string& mode,
                      std::ostream& out)
{
    json players = json::array();
    for (const PlayerAttempt& attempt : outcome.Attempts)
        players.push_back(AttemptObject(attempt));
    Print({{"mode", mode},
           {"setup", document.FilePath},
           {"year", outcome.Year},
           {"note", outcome.TurnNote},
           {"ok", outcome.Succeeded()},
           {"started", outcome.Started},
           {"cancelled", outcome.Cancelled},
           {"failed", outcome.Failed},
           {"players", std::move(players)},
           {"report",
            {{"file", outcome.ReportFileFailed ? outcome.ReportFileError : ""},
             {"mail", outcome.ReportMailFailed ? outcome.ReportMailError : ""}}},
           {"ledger", outcome.LedgerError}},
          out);
}

} // namespace turnpost
