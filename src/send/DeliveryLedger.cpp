#include "send/DeliveryLedger.h"

#include "platform/Files.h"
#include "platform/Kernel.h"

#include <nlohmann/json.hpp>

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
    return document.FilePath + ".ledger";
}

std::string AttemptToJson(const PlayerAttempt& attempt, bool withKind)
{
    json object;
    if (withKind)
        object["kind"] = "player";
    object["time"] = attempt.Time;
    object["year"] = attempt.Year;
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

std::optional<PlayerAttempt> AttemptFromJson(const std::string& line)
{
    const json object = json::parse(line, nullptr, false);
    if (!object.is_object() || object.value("kind", "") != "player")
        return std::nullopt;
    try {
        PlayerAttempt attempt;
        attempt.Time = object.at("time").get<std::string>();
        attempt.Year = object.at("year").get<std::uint16_t>();
        attempt.Player = object.at("player").get<int>();
        attempt.Address = object.at("address").get<std::string>();
        attempt.Result = object.at("result").get<std::string>();
        attempt.Sent = object.at("sent").get<bool>();
        attempt.Reply = object.value("reply", "");
        for (const json& file : object.value("files", json::array()))
            attempt.Files.push_back({file.at("path").get<std::string>(), file.at("size").get<std::uint64_t>(),
                                     file.at("sha256").get<std::string>()});
        if (attempt.Player < 1 || attempt.Player > PlayerCount)
            return std::nullopt;
        return attempt;
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

std::optional<RunRecord> RunFromJson(const std::string& line)
{
    const json object = json::parse(line, nullptr, false);
    if (!object.is_object() || object.value("kind", "") != "run")
        return std::nullopt;
    try {
        RunRecord run;
        run.Time = object.at("time").get<std::string>();
        run.Year = object.at("year").get<std::uint16_t>();
        run.Mode = object.value("mode", "");
        run.Attempted = object.value("attempted", 0);
        run.Sent = object.value("sent", 0);
        run.Cancelled = object.value("cancelled", false);
        run.Note = object.value("note", "");
        return run;
    } catch (const json::exception&) {
        return std::nullopt;
    }
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

void CDeliveryLedger::Finish(const RunRecord& run)
{
    Write(RunToJson(run));
    if (m_File.IsOpen() && !m_File.Sync() && m_Error.empty())
        m_Error = m_Path + ": " + SystemErrorText(m_File.Error());
}

LedgerContents ReadLedger(const std::string& path)
{
    LedgerContents contents;
    std::string text;
    if (path.empty() || !ReadWholeFile(path, text))
        return contents;
    contents.Found = true;
    std::size_t start = 0;
    int number = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (line.empty())
            continue;
        if (auto attempt = AttemptFromJson(line)) {
            contents.Attempts.push_back(std::move(*attempt));
            continue;
        }
        if (auto run = RunFromJson(line)) {
            contents.Runs.push_back(std::move(*run));
            continue;
        }
        contents.Warnings.push_back(path + ":" + std::to_string(number) + ": not a ledger record, skipped");
    }
    return contents;
}

std::array<std::optional<PlayerAttempt>, PlayerCount> LastAttempts(const LedgerContents& ledger,
                                                                   std::uint16_t year)
{
    std::array<std::optional<PlayerAttempt>, PlayerCount> last;
    for (const PlayerAttempt& attempt : ledger.Attempts)
        if (attempt.Year == year)
            last[static_cast<std::size_t>(attempt.Player - 1)] = attempt;
    return last;
}

std::array<bool, PlayerCount> DeliveredPlayers(const LedgerContents& ledger, std::uint16_t year)
{
    std::array<bool, PlayerCount> delivered{};
    for (const PlayerAttempt& attempt : ledger.Attempts)
        if (attempt.Year == year && attempt.Sent)
            delivered[static_cast<std::size_t>(attempt.Player - 1)] = true;
    return delivered;
}

} // namespace turnpost
