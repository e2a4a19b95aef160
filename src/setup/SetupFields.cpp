#include "setup/SetupFields.h"

#include <charconv>

namespace turnpost {

namespace {

using S = GameSetup;
constexpr SetupFieldKind Text = SetupFieldKind::Text;
constexpr SetupFieldKind Integer = SetupFieldKind::Integer;

// The body's layout is frozen at version 3; later versions read it as version 3 and anything new goes
// into the extension block, which other readers of the format skip.
const SetupField Fields[] = {
    {"GameName", Text, &S::GameName, nullptr, 1, 3},
    {"UniverseFile", Text, &S::UniverseFile, nullptr, 1, 3},
    {"SmtpServer", Text, &S::SmtpServer, nullptr, 1, 3},
    {"ReturnAddress", Text, &S::ReturnAddress, nullptr, 1, 3},
    {"MessageSubject", Text, &S::MessageSubject, nullptr, 1, 3},
    {"UseDefaultMessage", SetupFieldKind::TextFlag, nullptr, &S::UseDefaultMessage, 1, 1},
    {"MessageText", Text, &S::MessageText, nullptr, 1, 3},
    {"SendPlayerFile", Integer, nullptr, &S::SendPlayerFile, 2, 3},
    {"SendUniverseFile", Integer, nullptr, &S::SendUniverseFile, 2, 3},
    {"SendAdditionalFiles", Integer, nullptr, &S::SendAdditionalFiles, 2, 3},
    {"SmtpTimeout", Integer, nullptr, &S::SmtpTimeout, 2, 3},
    {"PauseAfterConnection", Integer, nullptr, &S::PauseAfterConnection, 2, 3},
    {"DisplaySummary", Integer, nullptr, &S::DisplaySummary, 3, 3},
    {"SaveReportToFile", Integer, nullptr, &S::SaveReportToFile, 3, 3},
    {"EmailReport", Integer, nullptr, &S::EmailReport, 3, 3},
    {"ReportFile", Text, &S::ReportFile, nullptr, 3, 3},
    {"ReportAddress", Text, &S::ReportAddress, nullptr, 3, 3},
    {"DetailedReport", Integer, nullptr, &S::DetailedReport, 3, 3},
    {"SmtpSecurity", Integer, nullptr, &S::SmtpSecurity, 0, 0},
    {"SmtpUser", Text, &S::SmtpUser, nullptr, 0, 0},
    {"SmtpPasswordCommand", Text, &S::SmtpPasswordCommand, nullptr, 0, 0},
    {"SmtpLoginMethod", Integer, nullptr, &S::SmtpLoginMethod, 0, 0},
    {"CheckTurnFiles", Integer, nullptr, &S::CheckTurnFiles, 0, 0},
    {"AdditionalFiles", SetupFieldKind::Lines, &S::AdditionalFiles, nullptr, 0, 0},
    {"CollectServer", Text, &S::CollectServer, nullptr, 0, 0},
    {"CollectSecurity", Integer, nullptr, &S::CollectSecurity, 0, 0},
    {"CollectUser", Text, &S::CollectUser, nullptr, 0, 0},
    {"CollectPasswordCommand", Text, &S::CollectPasswordCommand, nullptr, 0, 0},
    {"CollectLoginMethod", Integer, nullptr, &S::CollectLoginMethod, 0, 0},
    {"CollectFolder", Text, &S::CollectFolder, nullptr, 0, 0},
    {"ProcessedFolder", Text, &S::ProcessedFolder, nullptr, 0, 0},
    {"RejectedFolder", Text, &S::RejectedFolder, nullptr, 0, 0},
    {"AcknowledgeOrders", Integer, nullptr, &S::AcknowledgeOrders, 0, 0},
    {"AcknowledgeSubject", Text, &S::AcknowledgeSubject, nullptr, 0, 0},
    {"AcknowledgeText", Text, &S::AcknowledgeText, nullptr, 0, 0},
    {"TurnDeadlineHours", Integer, nullptr, &S::TurnDeadlineHours, 0, 0},
    {"RemindHoursBefore", Integer, nullptr, &S::RemindHoursBefore, 0, 0},
    {"ReminderSubject", Text, &S::ReminderSubject, nullptr, 0, 0},
    {"ReminderText", Text, &S::ReminderText, nullptr, 0, 0},
    {"NotifyHostWhenDone", Integer, nullptr, &S::NotifyHostWhenDone, 0, 0},
    {"GenerateCommand", Text, &S::GenerateCommand, nullptr, 0, 0},
};

const GameSetup& Fresh()
{
    static const GameSetup fresh;
    return fresh;
}

} // namespace

std::span<const SetupField> SetupFields()
{
    return Fields;
}

const SetupField* FindSetupField(std::string_view name)
{
    for (const auto& field : Fields)
        if (name == field.Name)
            return &field;
    return nullptr;
}

std::string SetupFieldText(const SetupField& field, const GameSetup& setup)
{
    return field.Text ? setup.*field.Text : std::to_string(setup.*field.Integer);
}

bool SetSetupFieldText(const SetupField& field, const std::string& text, GameSetup& setup)
{
    if (field.Text) {
        setup.*field.Text = text;
        return true;
    }
    // from_chars takes no plus sign, blanks or base prefix; the whole text must be the number.
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        return false;
    setup.*field.Integer = value;
    return true;
}

bool SetupFieldIsFresh(const SetupField& field, const GameSetup& setup)
{
    return field.Text ? setup.*field.Text == Fresh().*field.Text
                      : setup.*field.Integer == Fresh().*field.Integer;
}

void ResetSetupField(const SetupField& field, GameSetup& setup)
{
    if (field.Text)
        setup.*field.Text = Fresh().*field.Text;
    else
        setup.*field.Integer = Fresh().*field.Integer;
}

} // namespace turnpost
