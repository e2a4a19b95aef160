#include "setup/SetupFile.h"

#include "platform/Files.h"
#include "platform/UserInterface.h"
#include "setup/SetupReader.h"
#include "setup/SetupWriter.h"

#include <algorithm>

namespace turnpost {

namespace {

constexpr std::string_view LeadingText = "tasha (woof)";
// The newest version this program reads in full; later ones are read as this one.
constexpr std::int32_t NewestVersion = 4;

bool HasSubmissionSettings(const GameSetup& setup)
{
    const GameSetup fresh;
    return setup.SmtpSecurity != fresh.SmtpSecurity || setup.SmtpUser != fresh.SmtpUser ||
           setup.SmtpPasswordCommand != fresh.SmtpPasswordCommand;
}

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
        result.status = SetupParseResult::PastEnd;
        return result;
    }
    if (gameName != LeadingText)
        return result;
    versioned = true;
    std::int32_t programMajor, programMinor;
    if (!reader.ReadInteger(result.version)) {
        result.status = SetupParseResult::PastEnd;
        return result;
    }
    if (result.version <= 1) {
        result.status = SetupParseResult::BadVersion;
        return result;
    }
    // The program version words are informational only.
    if (!reader.ReadInteger(programMajor) || !reader.ReadInteger(programMinor))
        result.status = SetupParseResult::PastEnd;
    return result;
}

bool ReadFields(CSetupReader& r, std::int32_t version, GameSetup& s)
{
    if (!r.ReadString(s.UniverseFile) || !r.ReadString(s.SmtpServer) || !r.ReadString(s.ReturnAddress) ||
        !r.ReadString(s.MessageSubject))
        return false;
    if (version == 1) {
        std::string useDefault;
        if (!r.ReadString(useDefault))
            return false;
        s.UseDefaultMessage = useDefault == "t" ? 1 : 0;
    }
    if (!r.ReadString(s.MessageText))
        return false;
    if (version >= 2 && (!r.ReadInteger(s.SendPlayerFile) || !r.ReadInteger(s.SendUniverseFile) ||
                         !r.ReadInteger(s.SendAdditionalFiles) || !r.ReadInteger(s.SmtpTimeout) ||
                         !r.ReadInteger(s.PauseAfterConnection)))
        return false;
    if (version >= 3 && (!r.ReadInteger(s.DisplaySummary) || !r.ReadInteger(s.SaveReportToFile) ||
                         !r.ReadInteger(s.EmailReport) || !r.ReadString(s.ReportFile) ||
                         !r.ReadString(s.ReportAddress) || !r.ReadInteger(s.DetailedReport)))
        return false;
    for (auto& player : s.Players)
        if (!r.ReadInteger(player.Selected) || !r.ReadString(player.EmailAddress) ||
            !r.ReadString(player.PlayerFile))
            return false;
    if (version >= 4) {
        // Later versions add after these; what we do not know is ignored.
        return r.ReadInteger(s.SmtpSecurity) && r.ReadString(s.SmtpUser) &&
               r.ReadString(s.SmtpPasswordCommand);
    }
    // Unlike the other fields an older file does not carry, the submission settings are not kept from
    // the setup loaded before: they are another game's account and secrets, and sending this game's
    // turns through them would surprise the host.
    const GameSetup fresh;
    s.SmtpSecurity = fresh.SmtpSecurity;
    s.SmtpUser = fresh.SmtpUser;
    s.SmtpPasswordCommand = fresh.SmtpPasswordCommand;
    if (version == 1) {
        // Version 1 knew no such settings; its files always ran with these.
        s.SmtpTimeout = fresh.SmtpTimeout;
        s.PauseAfterConnection = fresh.PauseAfterConnection;
    }
    return true;
}

} // namespace

std::string CaptionFor(const std::string& filePath)
{
    return "Turnpost - " + filePath;
}

std::string SerializeSetup(const GameSetup& s)
{
    const bool submission = HasSubmissionSettings(s);
    CSetupWriter w;
    w.WriteString(LeadingText);
    // Without submission settings the file stays version 3, readable by every older program.
    w.WriteInteger(submission ? 4 : 3);
    w.WriteInteger(VersionMajor);
    w.WriteInteger(VersionMinor);
    w.WriteString(s.GameName);
    w.WriteString(s.UniverseFile);
    w.WriteString(s.SmtpServer);
    w.WriteString(s.ReturnAddress);
    w.WriteString(s.MessageSubject);
    w.WriteString(s.MessageText);
    w.WriteInteger(s.SendPlayerFile);
    w.WriteInteger(s.SendUniverseFile);
    w.WriteInteger(s.SendAdditionalFiles);
    w.WriteInteger(s.SmtpTimeout);
    w.WriteInteger(s.PauseAfterConnection);
    w.WriteInteger(s.DisplaySummary);
    w.WriteInteger(s.SaveReportToFile);
    w.WriteInteger(s.EmailReport);
    w.WriteString(s.ReportFile);
    w.WriteString(s.ReportAddress);
    w.WriteInteger(s.DetailedReport);
    for (const auto& player : s.Players) {
        w.WriteInteger(player.Selected);
        w.WriteString(player.EmailAddress);
        w.WriteString(player.PlayerFile);
    }
    if (submission) {
        w.WriteInteger(s.SmtpSecurity);
        w.WriteString(s.SmtpUser);
        w.WriteString(s.SmtpPasswordCommand);
    }
    return w.Bytes();
}

bool WriteSetupFile(const std::string& path, const GameSetup& setup, IUserInterface& ui)
{
    const WriteResult result = WriteFileAtomically(path, SerializeSetup(setup));
    if (result.status == WriteResult::OpenFailed)
        ui.MessageBox("Could not open file for saving: nothing saved!", {}, MessageButtons::Ok,
                      MessageIcon::Exclamation);
    else if (result.status == WriteResult::WriteFailed)
        ui.MessageBox(WriteErrorMessage(result.error, path), {}, MessageButtons::Ok,
                      MessageIcon::Exclamation);
    return result.ok();
}

SetupParseResult ParseSetup(std::string_view bytes, GameSetup& setup)
{
    CSetupReader reader(bytes);
    GameSetup loaded = setup;
    bool versioned;
    SetupParseResult result = ReadHeader(reader, loaded.GameName, versioned);
    if (result.status != SetupParseResult::Loaded)
        return result;
    if (versioned && !reader.ReadString(loaded.GameName)) {
        result.status = SetupParseResult::PastEnd;
        return result;
    }
    if (!ReadFields(reader, std::min(result.version, NewestVersion), loaded)) {
        result.status = SetupParseResult::PastEnd;
        return result;
    }
    setup = std::move(loaded);
    return result;
}

int SetupVersionOf(std::string_view bytes)
{
    CSetupReader reader(bytes);
    std::string first;
    bool versioned;
    const SetupParseResult result = ReadHeader(reader, first, versioned);
    if (result.status == SetupParseResult::PastEnd && !(versioned && result.version > 1))
        return 0;
    return result.version;
}

int ReadSetupFileVersion(const std::string& path)
{
    std::string bytes;
    if (!ReadWholeFile(path, bytes))
        return -1;
    return SetupVersionOf(bytes);
}

SetupReadStatus ReadSetupFileStatus(const std::string& path, GameDocument& document, IUserInterface& ui)
{
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        ui.MessageBox("Could not open file: " + path, {}, MessageButtons::Ok, MessageIcon::Exclamation);
        return SetupReadStatus::NotOpened;
    }
    const SetupParseResult result = ParseSetup(bytes, document.Setup);
    if (result.status == SetupParseResult::PastEnd) {
        ui.MessageBox(OpensWithLeadingText(bytes) ? "An attempt was made to access " + path + " past its end."
                                                  : path + " is not a Turnpost game setup file.",
                      {}, MessageButtons::Ok, MessageIcon::Exclamation);
        return SetupReadStatus::Damaged;
    }
    if (result.status == SetupParseResult::BadVersion) {
        ui.MessageBox("Could not read " + path + ": its header gives format version " +
                          std::to_string(result.version) + ", which no game setup file has.",
                      {}, MessageButtons::Ok, MessageIcon::Exclamation);
        return SetupReadStatus::Damaged;
    }
    document.FilePath = path;
    document.Modified = 0;
    ui.SetCaption(CaptionFor(path));
    ui.FillRows();
    ui.ShowState();
    return SetupReadStatus::Loaded;
}

bool ReadSetupFile(const std::string& path, GameDocument& document, IUserInterface& ui)
{
    return ReadSetupFileStatus(path, document, ui) == SetupReadStatus::Loaded;
}

} // namespace turnpost
