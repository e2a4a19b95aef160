#pragma once

#include "mail/MailAddress.h"
#include "mail/MailAttachment.h"
#include "platform/Version.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace turnpost {

/// One mail: header fields, body and attachments (referenced, not owned: they must outlive sending;
/// an attachment that is only opened is read while the message is written).
/// Without attachments it is a plain RFC 5322 mail (MIME text/plain when its text is not plain
/// ASCII); with attachments a MIME multipart/mixed mail whose first part is the text.
class CMailMessage
{
public:
    CMailMessage();

    int AddRecipient(const CMailAddress& address);
    int GetRecipientCount() const;
    CMailAddress GetRecipient(int index) const;
    int AddAttachment(const CMailAttachment& attachment);
    /// Stores the body; the connection turns it into valid SMTP data when it is sent.
    void SetBody(const std::string& body);
    const std::string& GetBody() const { return m_Body; }
    const std::vector<const CMailAttachment*>& GetAttachments() const { return m_Attachments; }

    /// "<left@domain>": the left part is made once per message (time and random bits), the domain
    /// is the return address's.
    std::string GetMessageId() const;

    /// The header block, ended by its empty line, built anew with the current date.
    std::string GetHeader() const;

    /// Hands the message to write piece by piece, in the order of the wire: the header block, the text
    /// part header (with attachments only), the data body, for each attachment its part header and
    /// encoded text, and the closing boundary (with attachments only). The end of data is left to the
    /// caller, who may first look for early replies. Stops at the first piece write refuses (false),
    /// and when an attachment cannot be read whole (false, with GetContentError set): the pieces
    /// written so far are then no whole message, and must not be ended as one.
    bool WriteContent(const std::function<bool(std::string_view piece)>& write) const;
    /// Why the last WriteContent stopped at an attachment, naming its file; empty otherwise.
    const std::string& GetContentError() const { return m_ContentError; }
    /// What the last WriteContent read of each attachment it wrote whole, in order: the digests
    /// describe exactly the bytes that went out.
    const std::vector<CMailAttachment::Sent>& GetAttachmentsSent() const { return m_AttachmentsSent; }

    /// How many bytes WriteContent writes, with the line break that ends the last line (the CR LF
    /// of EndOfData): the size of the message as RFC 1870 counts it, reckoned from the sizes of the
    /// attachments without reading them.
    std::uint64_t GetWireSize() const;

    // The pieces WriteContent writes.
    std::string GetTextPartHeader() const;
    /// The body as it goes out: every line ended by CR LF, quoted-printable where the headers say so,
    /// and dot-stuffed (RFC 5321 4.5.2), so that no body can end the data early.
    std::string GetDataBody() const;
    static std::string GetAttachmentPartHeader(const CMailAttachment& attachment);
    static constexpr const char* ClosingBoundary = "\r\n--#BOUNDARY#--";
    static constexpr const char* EndOfData = "\r\n.\r\n";

    /// True when the sender or a recipient has a local part that is not ASCII (RFC 6531).
    bool NeedsSmtpUtf8() const;

    /// True when the text is sent quoted-printable: always as a MIME part, otherwise only when the
    /// subject or body is not plain ASCII or a body line would be too long for SMTP.
    bool IsTextEncoded() const;

    CMailAddress From;
    std::string Subject;
    std::string XMailer = ProgramName;
    /// The message-id (without angle brackets) this mail answers: In-Reply-To and References name it
    /// (RFC 5322 3.6.4). One that could not be a message-id is left out rather than sent.
    std::string InReplyTo;

private:
    std::vector<CMailAddress> m_Recipients;
    std::string m_Body;
    std::vector<const CMailAttachment*> m_Attachments;
    std::string m_MessageIdLeft;
    mutable std::string m_ContentError;
    mutable std::vector<CMailAttachment::Sent> m_AttachmentsSent;
};

} // namespace turnpost
