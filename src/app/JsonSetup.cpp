#include "app/JsonSetup.h"

#include "setup/AdditionalFiles.h"
#include "setup/SetupFields.h"

#include <nlohmann/json.hpp>

#include <limits>

namespace turnpost {

namespace {

using Json = nlohmann::ordered_json;

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

// The additional files: a list of paths, each a string without a line break.
bool ReadFileList(const Json& value, const std::string& where, GameSetup& setup, std::string& error)
{
    if (!value.is_array()) {
        error = where + " must be a list of file names";
        return false;
    }
    std::vector<std::string> files;
    for (std::size_t i = 0; i < value.size(); ++i) {
        files.emplace_back();
        if (!ReadText(value[i], where + "[" + std::to_string(i) + "]", files.back(), error))
            return false;
    }
    std::string problem;
    if (!SetAdditionalFileList(setup, files, problem)) {
        error = where + ": " + problem;
        return false;
    }
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

// The entries a newer program put in the setup file's extension block, as texts. A field this program
// knows belongs at the top level, where its type is checked.
bool ReadExtensionFields(const Json& value, std::vector<std::pair<std::string, std::string>>& out,
                         std::string& error)
{
    if (!value.is_object()) {
        error = "ExtensionFields must be an object";
        return false;
    }
    for (const auto& [key, text] : value.items()) {
        const std::string at = "ExtensionFields." + key;
        if (const SetupField* field = FindSetupField(key); field && field->InExtension()) {
            error = at + " is a known field: give it at the top level";
            return false;
        }
        std::string entry;
        if (!ReadText(text, at, entry, error))
            return false;
        out.emplace_back(key, std::move(entry));
    }
    return true;
}

} // namespace

std::string SetupToJson(const GameSetup& setup)
{
    // In the order of the setup file, so an export reads like the file.
    Json json = Json::object();
    for (const SetupField& field : SetupFields()) {
        if (field.Kind == SetupFieldKind::Lines)
            json[field.Name] = AdditionalFileList(setup);
        else if (field.Text)
            json[field.Name] = setup.*field.Text;
        else
            json[field.Name] = setup.*field.Integer;
    }
    Json players = Json::array();
    for (const auto& slot : setup.Players)
        players.push_back({{"Selected", slot.Selected},
                           {"EmailAddress", slot.EmailAddress},
                           {"PlayerFile", slot.PlayerFile}});
    json["Players"] = std::move(players);
    if (!setup.ExtensionFields.empty()) {
        Json extension = Json::object();
        for (const auto& [key, value] : setup.ExtensionFields)
            extension[key] = value;
        json["ExtensionFields"] = std::move(extension);
    }
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
        if (const SetupField* field = FindSetupField(key)) {
            const bool ok = field->Kind == SetupFieldKind::Lines ? ReadFileList(value, key, result, error)
                            : field->Text ? ReadText(value, key, result.*field->Text, error)
                                          : ReadInteger(value, key, result.*field->Integer, error);
            if (!ok)
                return false;
        } else if (key == "ExtensionFields") {
            if (!ReadExtensionFields(value, result.ExtensionFields, error))
                return false;
        } else if (key == "Players") {
            if (!value.is_array() || value.size() > static_cast<std::size_t>(PlayerCount)) {
                error = "Players must be an array of at most 16 players";
                return false;
            }
            for (std::size_t i = 0; i < value.size(); ++i) {
                if (!ReadPlayer(value[i], "Players[" + std::to_string(i) + "]", result.Players[i], error))
                    return false;
            }
        } else {
            error = "unknown field " + key;
            return false;
        }
    }
    setup = std::move(result);
    return true;
}

} // namespace turnpost
