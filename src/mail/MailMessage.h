#pragma once

#include "mail/MailAddress.h"

#include <string>
#include <vector>

namespace turnpost {

class CMailAttachment;

/// One mail: header fields, body and attachments (referenced, not owned: they must outlive sending).
class CMailMessage
{
public:
    virtual ~CMailMessage() = default;

    int AddRecipient(const CMailAddress& address);
    int GetRecipientCount() const;
    CMailAddress GetRecipient(int index) const;
    int AddAttachment(const CMailAttachment& attachment);
    /// Stores the body; the connection turns it into valid SMTP data when it is sent.
    void SetBody(const std::string& body);
    const std::string& GetBody() const { return m_Body; }
    const std::vector<const CMailAttachment*>& GetAttachments() const { return m_Attachments; }

    /// The header block, ended by its empty line, built anew with the current date.
    virtual std::string GetHeader() const;

    CMailAddress From;
    std::string Subject;
    std::string XMailer = "Turnpost 0.7";
    CMailAddress ReplyTo;

private:
    std::vector<CMailAddress> m_Recipients;
    std::string m_Body;
    std::vector<const CMailAttachment*> m_Attachments;
};

} // namespace turnpost
