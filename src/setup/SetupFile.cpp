#include "setup/SetupFile.h"

#include "platform/Files.h"
#include "platform/UserInterface.h"
#include "platform/Version.h"
#include "setup/SetupFields.h"
#include "setup/SetupReader.h"
#include "setup/SetupWriter.h"

#include <algorithm>
#include <set>

namespace turnpost {

namespace {

constexpr std::string_view LeadingText = "tasha (woof)";
// Files of every later version are read as this one: their body does not change.
constexpr std::int32_t BodyVersion = 3;
// Opens the block of this program's own fields after the players; other readers skip it as they
// skip any tail.
constexpr std::string_view ExtensionMarker = "Turnpost extension";

// Every setup file since version 2 opens with the leading text (after its length byte). A file without
// it that does not read as a version-1 setup is some other kind of file, not a damaged setup.
bool OpensWithLeadingText(std::string_view bytes)
{
    return bytes.size() > LeadingText.size() && static_cast<unsigned char>(bytes[0]) == LeadingText.size() &&
           bytes.substr(1, LeadingText.size()) == LeadingText;
}

// Reads the leading text and header. version is 1 for a file without the leading text; then gameName
// holds the first string, which such a file opens with.
SetupParseResult ReadHeader(CSetupReader& reader, std::string& gameName, bool& versioned)
{
    SetupParseResult result;
    versioned = false;
    if (!reader.ReadString(gameName)) {
        result.Status = SetupParseResult::PastEnd;
        return result;
    }
    if (gameName != LeadingText)
        return result;
    versioned = true;
    std::int32_t programMajor, programMinor;
    if (!reader.ReadInteger(result.Version)) {
        result.Status = SetupParseResult::PastEnd;
        return result;
    }
    if (result.Version <= 1) {
        result.Status = SetupParseResult::BadVersion;
        return result;
    }
    // The program version words are informational only.
    if (!reader.ReadInteger(programMajor) || !reader.ReadInteger(programMinor))
        result.Status = SetupParseResult::PastEnd;
    return result;
}

// Reads the fields from the second on (the first, the game name, was read to tell the version), then
// the players.
bool ReadBody(CSetupReader& r, std::int32_t version, GameSetup& s)
{
    for (const SetupField& field : SetupFields().subspan(1)) {
        if (!field.InBody(version))
            continue;
        bool ok = false;
        switch (field.Kind) {
        case SetupFieldKind::Text:
        case SetupFieldKind::Lines:
            ok = r.ReadString(s.*field.Text);
            break;
        case SetupFieldKind::Integer:
            ok = r.ReadInteger(s.*field.Integer);
            break;
        case SetupFieldKind::TextFlag: {
            std::string flag;
            ok = r.ReadString(flag);
            s.*field.Integer = flag == "t" ? 1 : 0;
            break;
        }
        }
        if (!ok)
            return false;
    }
    for (auto& player : s.Players)
        if (!r.ReadInteger(player.Selected) || !r.ReadString(player.EmailAddress) ||
            !r.ReadString(player.PlayerFile))
            return false;
    if (version == 1) {
        // Version 1 knew no such settings; its files always ran with these.
        const GameSetup fresh;
        s.SmtpTimeout = fresh.SmtpTimeout;
        s.PauseAfterConnection = fresh.PauseAfterConnection;
    }
    return true;
}

// Reads the extension block when the tail opens with its marker; any other tail is another program's
// and is ignored. The extension's fields are reset first: unlike the body's fields, which a file
// without them leaves as they were, they are the last game's account and secrets, and sending this
// game's turns through them would surprise the host.
SetupParseResult::Outcome ReadExtension(CSetupReader& r, GameSetup& s, std::string& problem)
{
    for (const SetupField& field : SetupFields())
        if (field.InExtension())
            ResetSetupField(field, s);
    s.ExtensionFields.clear();

    std::string marker;
    if (!r.ReadString(marker) || marker != ExtensionMarker)
        return SetupParseResult::Loaded;
    std::int32_t count;
    // Each pair takes at least two bytes: a larger count cannot be there.
    if (!r.ReadInteger(count) || count < 0 || static_cast<std::size_t>(count) > r.Remaining() / 2)
        return SetupParseResult::PastEnd;
    std::set<std::string> seen;
    for (std::int32_t i = 0; i < count; ++i) {
        std::string key, value;
        if (!r.ReadString(key) || !r.ReadString(value))
            return SetupParseResult::PastEnd;
        if (!seen.insert(key).second) {
            problem = "its extension block names " + key + " twice";
            return SetupParseResult::BadExtension;
        }
        const SetupField* field = FindSetupField(key);
        if (!field || !field->InExtension())
            s.ExtensionFields.emplace_back(std::move(key), std::move(value));
        else if (!SetSetupFieldText(*field, value, s)) {
            problem = "its extension block gives " + key + " the value \"" + value +
                      "\", which is not a whole number";
            return SetupParseResult::BadExtension;
        }
    }
    return SetupParseResult::Loaded;
}

} // namespace

std::string SaveRefusedMessage(const std::string& path, int error)
{
    return "Could not open file for saving: nothing saved! (" + path + ": " + FileErrorText(error) + ")";
}

std::string SerializeSetup(const GameSetup& s)
{
    CSetupWriter w;
    w.WriteString(LeadingText);
    w.WriteInteger(BodyVersion);
    w.WriteInteger(VersionMajor);
    w.WriteInteger(VersionMinor);
    std::vector<std::pair<std::string, std::string>> extension;
    for (const SetupField& field : SetupFields()) {
        if (field.InExtension()) {
            if (!SetupFieldIsFresh(field, s))
                extension.emplace_back(field.Name, SetupFieldText(field, s));
        } else if (field.InBody(BodyVersion)) {
            if (field.Text)
                w.WriteString(s.*field.Text);
            else
                w.WriteInteger(s.*field.Integer);
        }
    }
    for (const auto& player : s.Players) {
        w.WriteInteger(player.Selected);
        w.WriteString(player.EmailAddress);
        w.WriteString(player.PlayerFile);
    }
    // A setup without settings of its own stays a plain version-3 file, byte for byte.
    extension.insert(extension.end(), s.ExtensionFields.begin(), s.ExtensionFields.end());
    if (!extension.empty()) {
        w.WriteString(ExtensionMarker);
        w.WriteInteger(static_cast<std::int32_t>(extension.size()));
        for (const auto& [key, value] : extension) {
            w.WriteString(key);
            w.WriteString(value);
        }
    }
    return w.Bytes();
}

bool WriteSetupFile(const std::string& path, const GameSetup& setup, IUserInterface& ui)
{
    const WriteResult result = WriteFileAtomically(path, SerializeSetup(setup));
    if (result.Status == WriteResult::OpenFailed)
        ui.MessageBox(SaveRefusedMessage(path, result.Error), {}, MessageButtons::Ok,
                      MessageIcon::Exclamation);
    else if (result.Status == WriteResult::WriteFailed)
        ui.MessageBox(WriteErrorMessage(result.Error, path), {}, MessageButtons::Ok,
                      MessageIcon::Exclamation);
    return result.Ok();
}

SetupParseResult ParseSetup(std::string_view bytes, GameSetup& setup)
{
    CSetupReader reader(bytes);
    GameSetup loaded = setup;
    bool versioned;
    SetupParseResult result = ReadHeader(reader, loaded.GameName, versioned);
    if (result.Status != SetupParseResult::Loaded)
        return result;
    if ((versioned && !reader.ReadString(loaded.GameName)) ||
        !ReadBody(reader, std::min(result.Version, BodyVersion), loaded)) {
        result.Status = SetupParseResult::PastEnd;
        return result;
    }
    result.Status = ReadExtension(reader, loaded, result.Problem);
    if (result.Status == SetupParseResult::Loaded)
        setup = std::move(loaded);
    return result;
}
int SetupVersionOf(std::string_view bytes)
{
    CSetupReader reader(bytes);
    std::string first;
    bool versioned;
    const SetupParseResult result = ReadHeader(reader, first, versioned);
    if (result.Status == SetupParseResult::PastEnd && !(versioned && result.Version > 1))
        return 0;
    return result.Version;
}

SetupReadStatus ReadSetupFileStatus(const std::string& path, GameDocument& document, IUserInterface& ui)
{
    std::string bytes;
    int error = 0;
    if (!ReadWholeFile(path, bytes, &error)) {
        ui.MessageBox(CouldNotOpenMessage(path, error), {}, MessageButtons::Ok, MessageIcon::Exclamation);
        return SetupReadStatus::NotOpened;
    }
    const SetupParseResult result = ParseSetup(bytes, document.Setup);
    if (result.Status == SetupParseResult::PastEnd) {
        ui.MessageBox(OpensWithLeadingText(bytes) ? "An attempt was made to access " + path + " past its end."
                                                  : path + " is not a Turnpost game setup file.",
                      {}, MessageButtons::Ok, MessageIcon::Exclamation);
        return SetupReadStatus::Damaged;
    }
    if (result.Status == SetupParseResult::BadVersion) {
        ui.MessageBox("Could not read " + path + ": its header gives format version " +
                          std::to_string(result.Version) + ", which no game setup file has.",
                      {}, MessageButtons::Ok, MessageIcon::Exclamation);
        return SetupReadStatus::Damaged;
    }
    if (result.Status == SetupParseResult::BadExtension) {
        ui.MessageBox("Could not read " + path + ": " + result.Problem + ".", {}, MessageButtons::Ok,
                      MessageIcon::Exclamation);
        return SetupReadStatus::Damaged;
    }
    document.FilePath = path;
    document.Modified = 0;
    document.PasswordCommandFromFile = document.Setup.SmtpPasswordCommand;
    document.CollectPasswordCommandFromFile = document.Setup.CollectPasswordCommand;
    document.GenerateCommandFromFile = document.Setup.GenerateCommand;
    IDocumentView& view = ui.View();
    view.ShowFilePath(path);
    view.FillRows();
    view.ShowState();
    return SetupReadStatus::Loaded;
}

bool ReadSetupFile(const std::string& path, GameDocument& document, IUserInterface& ui)
{
    return ReadSetupFileStatus(path, document, ui) == SetupReadStatus::Loaded;
}

} // namespace turnpost
