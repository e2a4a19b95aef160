#include "app/JsonSetup.h"

#include <nlohmann/json.hpp>

#include <limits>

namespace turnpost {

namespace {

using Json = nlohmann::ordered_json;

// One table of the fields serves both directions, so they cannot drift apart.
struct TextField
{
    const char* Name;
    std::string GameSetup::*Member;
};
struct IntegerField
{
    const char* Name;
    std::int32_t GameSetup::*Member;
};

// In the order of the setup file, so an export reads like the file.
const TextField TextFields[] = {
    {"GameName", &GameSetup::GameName},
    {"UniverseFile", &GameSetup::UniverseFile},
    {"SmtpServer", &GameSetup::SmtpServer},
    {"ReturnAddress", &GameSetup::ReturnAddress},
    {"MessageSubject", &GameSetup::MessageSubject},
    {"MessageText", &GameSetup::MessageText},
    {"ReportFile", &GameSetup::ReportFile},
    {"ReportAddress", &GameSetup::ReportAddress},
    {"SmtpUser", &GameSetup::SmtpUser},
    {"SmtpPasswordCommand", &GameSetup::SmtpPasswordCommand},
};
const IntegerField IntegerFields[] = {
    {"UseDefaultMessage", &GameSetup::UseDefaultMessage},
    {"SendPlayerFile", &GameSetup::SendPlayerFile},
    {"SendUniverseFile", &GameSetup::SendUniverseFile},
    {"SendAdditionalFiles", &GameSetup::SendAdditionalFiles},
    {"SmtpTimeout", &GameSetup::SmtpTimeout},
    {"PauseAfterConnection", &GameSetup::PauseAfterConnection},
    {"DisplaySummary", &GameSetup::DisplaySummary},
    {"SaveReportToFile", &GameSetup::SaveReportToFile},
    {"EmailReport", &GameSetup::EmailReport},
    {"DetailedReport", &GameSetup::DetailedReport},
    {"SmtpSecurity", &GameSetup::SmtpSecurity},
    {"SmtpLoginMethod", &GameSetup::SmtpLoginMethod},
    {"CheckTurnFiles", &GameSetup::CheckTurnFiles},
};

bool ReadText(const Json& value, const std::string& where, std::string& out, std::string& error)
{
    if (!value.is_string()) {
        error = where + " must be a string";
        return false;
    }
    out = value.get<std::string>();
    return true;
}

bool ReadInteger(const Json& value, const std::string& where, std::int32_t& out, std::string& error)
{
    const bool inRange = (value.is_number_unsigned() &&
                          value.get<std::uint64_t>() <= std::numeric_limits<std::int32_t>::max()) ||
                         (value.is_number_integer() && !value.is_number_unsigned() &&
                          value.get<std::int64_t>() >= std::numeric_limits<std::int32_t>::min() &&
                          value.get<std::int64_t>() <= std::numeric_limits<std::int32_t>::max());
    if (!inRange) {
        error = where +
                (value.is_number_integer() ? " is out of range for a 32-bit integer" : " must be an integer");
        return false;
    }
    out = static_cast<std::int32_t>(value.get<std::int64_t>());
    return true;
}

bool ReadPlayer(const Json& value, const std::string& where, PlayerSlot& slot, std::string& error)
{
    if (!value.is_object()) {
        error = where + " must be an object";
        return false;
    }
    for (const auto& [key, field] : value.items()) {
        const std::string at = where + "." + key;
        bool ok;
        if (key == "Selected")
            ok = ReadInteger(field, at, slot.Selected, error);
        else if (key == "EmailAddress")
            ok = ReadText(field, at, slot.EmailAddress, error);
        else if (key == "PlayerFile")
            ok = ReadText(field, at, slot.PlayerFile, error);
        else {
            error = "unknown field " + at;
            ok = false;
        }
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

std::string SetupToJson(const GameSetup& setup)
{
    Json json = Json::object();
    for (const auto& field : TextFields)
        json[field.Name] = setup.*field.Member;
    for (const auto& field : IntegerFields)
        json[field.Name] = setup.*field.Member;
    Json players = Json::array();
    for (const auto& slot : setup.Players)
        players.push_back({{"Selected", slot.Selected},
                           {"EmailAddress", slot.EmailAddress},
                           {"PlayerFile", slot.PlayerFile}});
    json["Players"] = std::move(players);
    return json.dump(2, ' ', false, Json::error_handler_t::replace);
}

bool SetupFromJson(const std::string& text, GameSetup& setup, std::string& error)
{
    const Json json = Json::parse(text, nullptr, false);
    if (json.is_discarded()) {
        error = "not valid JSON";
        return false;
    }
    if (!json.is_object()) {
        error = "the setup must be a JSON object";
        return false;
    }
    GameSetup result;
    for (const auto& [key, value] : json.items()) {
        bool known = false;
        for (const auto& field : TextFields) {
            if (key == field.Name) {
                known = true;
                if (!ReadText(value, key, result.*field.Member, error))
                    return false;
            }
        }
        for (const auto& field : IntegerFields) {
            if (key == field.Name) {
                known = true;
                if (!ReadInteger(value, key, result.*field.Member, error))
                    return false;
            }
        }
        if (key == "Players") {
            known = true;
            if (!value.is_array() || value.size() > static_cast<std::size_t>(PlayerCount)) {
                error = "Players must be an array of at most 16 players";
                return false;
            }
            for (std::size_t i = 0; i < value.size(); ++i) {
                if (!ReadPlayer(value[i], "Players[" + std::to_string(i) + "]", result.Players[i], error))
                    return false;
            }
        }
        if (!known) {
            error = "unknown field " + key;
            return false;
        }
    }
    setup = std::move(result);
    return true;
}

} // namespace turnpost
