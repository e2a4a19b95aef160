#pragma once

#include "setup/GameSetup.h"

#include <string>

namespace turnpost {

class IUserInterface;
class CSendSession;
class CMailMessage;

/// The lines that open every saved and mailed report, placeholders left for the caller to expand.
/// The clock line is empty when the local time cannot be formatted.
std::string BuildReportHeader(const GameDocument& document);

/// Writes the expanded header and body to ReportFile with CR LF line ends, replacing the old report
/// only once the new one is complete. False when it cannot be written; error (when given) then says
/// why. Nothing is shown to the user.
bool SaveReport(const GameDocument& document, const std::string& body, std::string* error = nullptr);

/// What became of the report mail.
struct ReportMailResult
{
    bool Delivered = false;
    std::string Error; ///< why it was not delivered, when it was not
};

/// Gives message the report mail's sender and recipient, so that its envelope is known before its
/// body is written.
void SetReportEnvelope(const GameSetup& setup, CMailMessage& message);

/// Mails the expanded header and body to ReportAddress under its own progress window. False only when
/// the user cancelled; whether the mail got through is left in result.
bool MailReport(const GameDocument& document, IUserInterface& ui, const std::string& body,
                CSendSession& session, ReportMailResult* result = nullptr);

} // namespace turnpost
