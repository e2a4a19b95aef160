#include "send/DeliveryLedger.h"

#include "platform/Files.h"
#include "platform/LastError.h"
#include "platform/UserFolders.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdint>

namespace turnpost {

namespace {

using nlohmann::json;

json FilesToJson(const std::vector<AttachedFile>& files)
{
    json list = json::array();
    for (const AttachedFile& file : files)
        list.push_back({{"path", file.Path}, {"size", file.Size}, {"sha256", file.Sha256}});
    return list;
}

/// Texts from the setup and the server may hold bytes that are not UTF-8: they are kept, replaced
/// where they cannot be written, rather than failing the line.
std::string Dump(const json& object)
{
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace

std::string LedgerPath(const GameDocument& document)
{
    if (document.FilePath.empty() || document.FilePath == UntitledPath)
        return {};
    return FollowLinks(document.FilePath) + ".ledger";
}

std::string AttemptToJson(const PlayerAttempt& attempt, bool withKind)
{
    json object;
    if (withKind)
        object["kind"] = "player";
    object["time"] = attempt.Time;
    object["year"] = attempt.Year;
    if (attempt.GameId)
        object["game"] = *attempt.GameId;
    if (attempt.Turn)
        object["turn"] = *attempt.Turn;
    object["player"] = attempt.Player;
    object["address"] = attempt.Address;
    object["files"] = FilesToJson(attempt.Files);
    object["result"] = attempt.Result;
    object["sent"] = attempt.Sent;
    object["reply"] = attempt.Reply;
    return Dump(object);
}

std::string RunToJson(const RunRecord& run)
{
    return Dump(json{{"kind", "run"},
                     {"time", run.Time},
                     {"year", run.Year},
                     {"mode", run.Mode},
                     {"attempted", run.Attempted},
                     {"sent", run.Sent},
                     {"cancelled", run.Cancelled},
                     {"note", run.Note}});
}

std::string OrderToJson(const OrderRecord& order)
{
    return Dump(json{{"kind", "order"},
                     {"time", order.Time},
                     {"year", order.Year},
                     {"player", order.Player},
                     {"file", order.File},
                     {"size", order.Size},
                     {"sha256", order.Sha256},
                     {"sender", order.Sender},
                     {"message-id", order.MessageId},
                     {"result", order.Result},
                     {"reason", order.Reason}});
}

std::string ReminderToJson(const ReminderRecord& reminder)
{
    return Dump(json{{"kind", "reminder"},
                     {"time", reminder.Time},
                     {"year", reminder.Year},
                     {"player", reminder.Player},
                     {"address", reminder.Address},
                     {"result", reminder.Result},
                     {"sent", reminder.Sent}});
}

std::string NoticeToJson(const NoticeRecord& notice)
{
    return Dump(json{{"kind", "notice"},
                     {"time", notice.Time},
                     {"year", notice.Year},
                     {"text", notice.Text},
                     {"sent", notice.Sent}});
}

namespace {

/// Why a line of the ledger is skipped: it is not a record, or one of its numbers is out of range.
struct SkippedLine
{
    std::string Problem;
};

/// The whole number at key, checked against [low, high] before it is narrowed: a float such as
/// 1e300 or a year of 67978 must not wrap into a plausible value.
template <typename T> T Whole(const json& object, const char* key, std::uint64_t low, std::uint64_t high)
{
    const json& value = object.at(key);
    if (!value.is_number())
        throw SkippedLine{"not a ledger record"};
    const std::string outOfRange = std::string(key) + " out of range";
    // A negative number or one that is not whole is never a count, a year or a size.
    if (!value.is_number_integer() || (!value.is_number_unsigned() && value.get<std::int64_t>() < 0))
        throw SkippedLine{outOfRange};
    const auto number = value.is_number_unsigned() ? value.get<std::uint64_t>()
                                                   : static_cast<std::uint64_t>(value.get<std::int64_t>());
    if (number < low || number > high)
        throw SkippedLine{outOfRange};
    return static_cast<T>(number);
}

template <typename T>
T WholeOr(const json& object, const char* key, T fallback, std::uint64_t low, std::uint64_t high)
{
    return object.contains(key) ? Whole<T>(object, key, low, high) : fallback;
}

constexpr std::uint64_t MaxYear = 0xFFFF;

/// What one line of a ledger is: an attempt, a run, or why it is neither.
struct ParsedLine
{
    std::optional<PlayerAttempt> Attempt;
    std::optional<RunRecord> Run;
    std::optional<OrderRecord> Order;
    std::optional<ReminderRecord> Reminder;
    std::optional<NoticeRecord> Notice;
    std::string Problem;
};

std::string Kind(const json& object)
{
    const auto kind = object.find("kind");
    return kind != object.end() && kind->is_string() ? kind->get<std::string>() : std::string();
}

ParsedLine ParseLine(const std::string& line)
{
    ParsedLine parsed;
    const json object = json::parse(line, nullptr, false);
    const std::string kind = object.is_object() ? Kind(object) : std::string();
    try {
        if (kind == "player") {
            PlayerAttempt attempt;
            attempt.Time = object.at("time").get<std::string>();
            attempt.Year = Whole<std::uint16_t>(object, "year", 0, MaxYear);
            if (object.contains("game"))
                attempt.GameId = Whole<std::uint32_t>(object, "game", 0, 0xFFFFFFFF);
            if (object.contains("turn"))
                attempt.Turn = Whole<std::uint16_t>(object, "turn", 0, 0xFFFF);
            attempt.Player = Whole<int>(object, "player", 1, PlayerCount);
            attempt.Address = object.at("address").get<std::string>();
            attempt.Result = object.at("result").get<std::string>();
            attempt.Sent = object.at("sent").get<bool>();
            attempt.Reply = object.value("reply", "");
            for (const json& file : object.value("files", json::array()))
                attempt.Files.push_back({file.at("path").get<std::string>(),
                                         Whole<std::uint64_t>(file, "size", 0, UINT64_MAX),
                                         file.at("sha256").get<std::string>()});
            parsed.Attempt = std::move(attempt);
        } else if (kind == "run") {
            RunRecord run;
            run.Time = object.at("time").get<std::string>();
            run.Year = Whole<std::uint16_t>(object, "year", 0, MaxYear);
            run.Mode = object.value("mode", "");
            run.Attempted = WholeOr<int>(object, "attempted", 0, 0, PlayerCount);
            run.Sent = WholeOr<int>(object, "sent", 0, 0, PlayerCount);
            run.Cancelled = object.value("cancelled", false);
            run.Note = object.value("note", "");
            parsed.Run = std::move(run);
        } else if (kind == "order") {
            OrderRecord order;
            order.Time = object.at("time").get<std::string>();
            order.Year = Whole<std::uint16_t>(object, "year", 0, MaxYear);
            order.Player = Whole<int>(object, "player", 0, PlayerCount);
            order.File = object.value("file", "");
            order.Size = WholeOr<std::uint64_t>(object, "size", 0, 0, UINT64_MAX);
            order.Sha256 = object.value("sha256", "");
            order.Sender = object.value("sender", "");
            order.MessageId = object.value("message-id", "");
            order.Result = object.at("result").get<std::string>();
            order.Reason = object.value("reason", "");
            parsed.Order = std::move(order);
        } else if (kind == "reminder") {
            ReminderRecord reminder;
            reminder.Time = object.at("time").get<std::string>();
            reminder.Year = Whole<std::uint16_t>(object, "year", 0, MaxYear);
            reminder.Player = Whole<int>(object, "player", 1, PlayerCount);
            reminder.Address = object.value("address", "");
            reminder.Result = object.value("result", "");
            reminder.Sent = object.at("sent").get<bool>();
            parsed.Reminder = std::move(reminder);
        } else if (kind == "notice") {
            NoticeRecord notice;
            notice.Time = object.at("time").get<std::string>();
            notice.Year = Whole<std::uint16_t>(object, "year", 0, MaxYear);
            notice.Text = object.value("text", "");
            notice.Sent = object.at("sent").get<bool>();
            parsed.Notice = std::move(notice);
        } else {
            parsed.Problem = "not a ledger record";
        }
    } catch (const SkippedLine& skipped) {
        parsed.Problem = skipped.Problem;
    } catch (const json::exception&) {
        parsed.Problem = "not a ledger record";
    }
    return parsed;
}

} // namespace

std::optional<PlayerAttempt> AttemptFromJson(const std::string& line)
{
    return ParseLine(line).Attempt;
}

std::optional<RunRecord> RunFromJson(const std::string& line)
{
    return ParseLine(line).Run;
}

std::optional<OrderRecord> OrderFromJson(const std::string& line)
{
    return ParseLine(line).Order;
}

std::optional<ReminderRecord> ReminderFromJson(const std::string& line)
{
    return ParseLine(line).Reminder;
}

std::optional<NoticeRecord> NoticeFromJson(const std::string& line)
{
    return ParseLine(line).Notice;
}

CDeliveryLedger::CDeliveryLedger(const GameDocument& document) : m_Path(LedgerPath(document))
{
    if (!m_Path.empty() && !m_File.Open(m_Path))
        m_Error = m_Path + ": " + SystemErrorText(m_File.Error());
}

void CDeliveryLedger::Write(const std::string& line)
{
    // One write per line: a run that is killed leaves whole lines (and at worst one cut short).
    if (m_File.IsOpen() && !m_File.Append(line + "\n") && m_Error.empty())
        m_Error = m_Path + ": " + SystemErrorText(m_File.Error());
}

void CDeliveryLedger::Record(const PlayerAttempt& attempt)
{
    Write(AttemptToJson(attempt));
}

void CDeliveryLedger::Sync()
{
    if (m_File.IsOpen() && !m_File.Sync() && m_Error.empty())
        m_Error = m_Path + ": " + SystemErrorText(m_File.Error());
}

void CDeliveryLedger::RecordOrder(const OrderRecord& order)
{
    Write(OrderToJson(order));
    Sync();
}

void CDeliveryLedger::RecordReminder(const ReminderRecord& reminder)
{
    Write(ReminderToJson(reminder));
    Sync();
}

void CDeliveryLedger::RecordNotice(const NoticeRecord& notice)
{
    Write(NoticeToJson(notice));
    Sync();
}

void CDeliveryLedger::Finish(const RunRecord& run)
{
    Write(RunToJson(run));
    Sync();
}

LedgerContents ReadLedger(const std::string& path)
{
    LedgerContents contents;
    if (path.empty())
        return contents;
    std::string text;
    int error = 0;
    // The writer refuses a link in the ledger's place; the reader does too, so that a resend never
    // trusts a ledger its own records could not go into.
    if (!ReadWholeFile(path, text, &error, Links::Refuse)) {
        if (error != ENOENT)
            contents.Error = path + " cannot be read (" +
                             (error == ELOOP ? std::string("a symbolic link") : FileErrorText(error)) + ")";
        return contents;
    }
    contents = ParseLedger(text, path);
    return contents;
}

LedgerContents ParseLedger(std::string_view text, const std::string& path)
{
    LedgerContents contents;
    contents.Found = true;
    std::size_t start = 0;
    int number = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line(text.substr(start, end - start));
        start = end + 1;
        ++number;
        if (line.empty())
            continue;
        ParsedLine parsed = ParseLine(line);
        if (parsed.Attempt)
            contents.Attempts.push_back(std::move(*parsed.Attempt));
        else if (parsed.Run)
            contents.Runs.push_back(std::move(*parsed.Run));
        else if (parsed.Order)
            contents.Orders.push_back(std::move(*parsed.Order));
        else if (parsed.Reminder)
            contents.Reminders.push_back(std::move(*parsed.Reminder));
        else if (parsed.Notice)
            contents.Notices.push_back(std::move(*parsed.Notice));
        else
            contents.Warnings.push_back(path + ":" + std::to_string(number) + ": " + parsed.Problem +
                                        ", skipped");
    }
    return contents;
}

} // namespace turnpost
