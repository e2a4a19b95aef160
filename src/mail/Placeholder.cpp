// Stand-ins until the mail transport lands; delete this file then.
#include "mail/MailAttachment.h"
#include "mail/MailMessage.h"
#include "mail/SMTPConnection.h"

namespace turnpost {
bool CMailAttachment::Load(const std::string&) { return false; }
std::int64_t Base64BufferSize(std::int64_t) { return 0; }
bool EncodeBase64(const unsigned char*, std::size_t, char*, std::size_t, std::size_t*) { return false; }
std::string CMailAddress::Render() const { return EmailAddress; }
int CMailMessage::AddRecipient(const CMailAddress&) { return 0; }
int CMailMessage::GetRecipientCount() const { return 0; }
CMailAddress CMailMessage::GetRecipient(int) const { return {}; }
int CMailMessage::AddAttachment(const CMailAttachment&) { return 0; }
void CMailMessage::SetBody(const std::string& body) { m_Body = body; }
std::string CMailMessage::GetHeader() const { return {}; }
CSMTPConnection::CSMTPConnection() = default;
CSMTPConnection::~CSMTPConnection() = default;
bool CSMTPConnection::Connect(const std::string&, std::uint16_t) { return false; }
bool CSMTPConnection::SendMessage(const CMailMessage&) { return false; }
bool CSMTPConnection::Disconnect() { return false; }
bool CSMTPConnection::AwaitReply(int) { return false; }
std::string CSMTPConnection::GetLastReply() const { return {}; }
void CSMTPConnection::SetTimeout(std::int32_t) {}
void CSMTPConnection::SetSecurity(SmtpSecurity) {}
void CSMTPConnection::SetLogin(const std::string&, const std::string&) {}
std::string ErrorReason(std::uint32_t) { return {}; }
} // namespace turnpost
