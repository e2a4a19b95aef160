#include "mail/MailMessage.h"

#include "mail/HeaderEncoding.h"
#include "mail/MailAttachment.h"
#include "platform/Clock.h"
#include "platform/Hex.h"
#include "platform/Random.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdio>

namespace turnpost {

namespace {

constexpr std::size_t MaxDataLine = 998;   // RFC 5321 4.5.3.1.6, without CR LF
constexpr std::size_t MaxEncodedLine = 76; // RFC 2045 6.7

// No control character reaches a header: a line break would start a header of the sender's choosing.
std::string HeaderValue(const std::string& value)
{
    return CleanHeaderText(value);
}

// A display name as a header phrase: encoded words when not ASCII, quoted when it holds specials.
std::string Phrase(const std::string& name)
{
    const std::string clean = HeaderValue(name);
    if (!IsAscii(clean))
        return EncodedWords(clean);
    if (clean.find_first_of("()<>[]:;@\\,.\"") == std::string::npos)
        return clean;
    std::string quoted = "\"";
    for (const char c : clean) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// column is the length of the line before the address.
std::string HeaderAddress(const CMailAddress& address, std::size_t column)
{
    // The domain as the envelope carries it; an address that cannot be converted fails at sending.
    std::string email = HeaderValue(address.TrimmedAddress());
    std::string error;
    CMailAddress::ToWireForm(email, email, error);
    if (address.FriendlyName.empty())
        return email;
    const std::string phrase = Phrase(address.FriendlyName);
    const auto lastBreak = phrase.rfind("\r\n");
    const std::size_t lineLength =
        lastBreak == std::string::npos ? column + phrase.size() : phrase.size() - lastBreak - 2;
    // RFC 5322 2.2.3: fold before the address rather than pass 78 characters.
    const bool fold = lineLength + 2 + email.size() + 1 > MaxHeaderLine;
    return phrase + (fold ? "\r\n <" : " <") + email + ">";
}

// Calls line(begin, length) for each line of the text, whatever ends it: CR LF, a bare LF or a bare
// CR. The part after the last line end is a line too (possibly empty).
template <typename F> void ForEachLine(const std::string& text, F line)
{
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            line(start, i - start);
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    line(start, text.size() - start);
}

bool HasLongLine(const std::string& text)
{
    bool tooLong = false;
    ForEachLine(text, [&](std::size_t, std::size_t length) { tooLong = tooLong || length > MaxDataLine; });
    return tooLong;
}

bool HasNul(const std::string& text)
{
    return text.find('\0') != std::string::npos;
}

// One line of text as quoted-printable (RFC 2045 6.7), soft-broken into lines of at most 76 characters.
void AppendQuotedPrintable(std::string& out, const char* line, std::size_t length)
{
    std::size_t column = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        const bool last = i + 1 == length;
        char token[3];
        std::size_t size = 1;
        // A line that begins "--" could pass for a boundary of the multipart body.
        const bool dashStart = column == 0 && c == '-' && i + 1 < length && line[i + 1] == '-';
        const bool literal =
            ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last)) && !dashStart;
        if (literal) {
            token[0] = static_cast<char>(c);
        } else {
            token[0] = '=';
            token[1] = HexDigit(c >> 4, HexCase::Upper);
            token[2] = HexDigit(c, HexCase::Upper);
            size = 3;
        }
        // The last token may fill the line; any other must leave room for the soft break "=".
        const std::size_t limit = last ? MaxEncodedLine : MaxEncodedLine - 1;
        if (column + size > limit) {
            out += "=\r\n";
            column = 0;
        }
        out.append(token, size);
        column += size;
    }
}

// Doubles every period that begins a line (RFC 5321 4.5.2).
std::string DotStuffed(const std::string& data)
{
    std::string out;
    out.reserve(data.size() + data.size() / 64 + 1);
    bool lineStart = true;
    for (const char c : data) {
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n';
    }
    return out;
}

// The left part of a Message-ID (RFC 5322 3.6.4): the time, then 128 random bits, so that no two
// messages share it even when sent within one second or from two machines.
std::string NewMessageIdLeft()
{
    unsigned char random[16] = {};
    if (!RandomBytes(random, sizeof random)) {
        // Without the kernel's source the clock and the address of this message must do.
        const auto fallback =
            static_cast<std::uint64_t>(TickCount()) ^ reinterpret_cast<std::uintptr_t>(random);
        for (std::size_t i = 0; i < sizeof random; ++i)
            random[i] = static_cast<unsigned char>(fallback >> (8 * (i % 8)));
    }
    std::string left = FormatLocalTime("%Y%m%d%H%M%S") + ".";
    left += HexText(random, sizeof random, HexCase::Upper);
    return left;
}

/// A message-id as another mail gave it may go into a header of ours only when it cannot break it:
/// visible ASCII without the brackets, and short enough for one header line (RFC 5322 2.1.1).
bool IsMessageIdText(const std::string& id)
{
    if (id.empty() || id.size() > 900)
        return false;
    for (const char c : id)
        if (c <= ' ' || c > '~' || c == '<' || c == '>')
            return false;
    return true;
}

} // namespace

CMailMessage::CMailMessage() : m_MessageIdLeft(NewMessageIdLeft()) {}

std::string CMailMessage::GetMessageId() const
{
    // The domain of the return address, as RFC 5322 3.6.4 suggests; a placeholder when there is none.
    const std::string from = From.TrimmedAddress();
    const auto at = from.rfind('@');
    std::string domain = at == std::string::npos ? std::string() : from.substr(at + 1);
    // A domain that is not ASCII gives the form the envelope carries.
    std::string wire;
    std::string error;
    if (!IsAscii(domain) && CMailAddress::ToWireForm(from, wire, error))
        domain = wire.substr(wire.rfind('@') + 1);
    const bool usable = !domain.empty() && std::all_of(domain.begin(), domain.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '-';
    });
    if (!usable)
        domain = "turnpost.invalid";
    return "<" + m_MessageIdLeft + "@" + domain + ">";
}

int CMailMessage::AddRecipient(const CMailAddress& address)
{
    m_Recipients.push_back(address);
    return static_cast<int>(m_Recipients.size()) - 1;
}

int CMailMessage::GetRecipientCount() const
{
    return static_cast<int>(m_Recipients.size());
}

CMailAddress CMailMessage::GetRecipient(int index) const
{
    if (index < 0 || index >= GetRecipientCount())
        return {};
    return m_Recipients[static_cast<std::size_t>(index)];
}

int CMailMessage::AddAttachment(const CMailAttachment& attachment)
{
    m_Attachments.push_back(&attachment);
    return static_cast<int>(m_Attachments.size()) - 1;
}

void CMailMessage::SetBody(const std::string& body)
{
    m_Body = body;
}

bool CMailMessage::NeedsSmtpUtf8() const
{
    if (CMailAddress::NeedsSmtpUtf8(From.TrimmedAddress()))
        return true;
    return std::any_of(m_Recipients.begin(), m_Recipients.end(), [](const CMailAddress& to) {
        return CMailAddress::NeedsSmtpUtf8(to.TrimmedAddress());
    });
}

bool CMailMessage::IsTextEncoded() const
{
    return !m_Attachments.empty() || !IsAscii(Subject) || !IsAscii(m_Body) || HasNul(m_Body) ||
           HasLongLine(m_Body);
}

std::string CMailMessage::GetHeader() const
{
    std::string to;
    for (const auto& recipient : m_Recipients) {
        if (!to.empty())
            to += ",";
        const auto lastBreak = to.rfind("\r\n");
        to += HeaderAddress(recipient,
                            lastBreak == std::string::npos ? 4 + to.size() : to.size() - lastBreak - 2);
    }

    std::string header;
    header += "From: " + HeaderAddress(From, 6) + "\r\n";
    header += "To: " + to + "\r\n";
    header += UnstructuredField("Subject", Subject);
    // A numeric zone, as RFC 5322 3.3 requires.
    header += "Date: " + FormatLocalTime("%a, %d %b %Y %H:%M:%S %z") + "\r\n";
    header += "Message-ID: " + GetMessageId() + "\r\n";
    header += UnstructuredField("X-Mailer", XMailer);
    if (IsMessageIdText(InReplyTo))
        header += "In-Reply-To: <" + InReplyTo + ">\r\nReferences: <" + InReplyTo + ">\r\n";
    if (!m_Attachments.empty()) {
        header += "MIME-Version: 1.0\r\nContent-type: multipart/mixed; boundary=\"#BOUNDARY#\"\r\n";
    } else if (IsTextEncoded()) {
        const bool utf8 = !IsAscii(Subject) || !IsAscii(m_Body);
        header += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=";
        header += utf8 ? "utf-8" : "us-ascii";
        header += "\r\nContent-Transfer-Encoding: quoted-printable\r\n";
    }
    header += "\r\n";
    return header;
}

bool CMailMessage::WriteContent(const std::function<bool(std::string_view piece)>& write) const
{
    m_ContentError.clear();
    m_AttachmentsSent.clear();
    const bool multipart = !m_Attachments.empty();
    if (!write(GetHeader()) || (multipart && !write(GetTextPartHeader())) || !write(GetDataBody()))
        return false;
    for (const CMailAttachment* attachment : m_Attachments) {
        if (!write(GetAttachmentPartHeader(*attachment)))
            return false;
        CMailAttachment::Sent sent = attachment->Stream(write);
        if (!sent.Ok) {
            m_ContentError = sent.Error;
            return false;
        }
        m_AttachmentsSent.push_back(std::move(sent));
    }
    return !multipart || write(ClosingBoundary);
}

std::uint64_t CMailMessage::GetWireSize() const
{
    // The header's date has the same width whenever it is made; the rest is built as it will be sent.
    std::uint64_t size = GetHeader().size() + GetTextPartHeader().size() + GetDataBody().size();
    for (const CMailAttachment* attachment : m_Attachments)
        size += GetAttachmentPartHeader(*attachment).size() + attachment->GetEncodedLength();
    if (!m_Attachments.empty())
        size += std::char_traits<char>::length(ClosingBoundary);
    return size + 2;
}

std::string CMailMessage::GetTextPartHeader() const
{
    if (m_Attachments.empty())
        return {};
    return std::string("\r\n--#BOUNDARY#\r\nContent-Type: text/plain; charset=") +
           (IsAscii(m_Body) ? "us-ascii" : "utf-8") +
           "\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
}

std::string CMailMessage::GetDataBody() const
{
    const bool encoded = IsTextEncoded();
    std::string data;
    data.reserve(m_Body.size() + m_Body.size() / 16 + 16);
    bool first = true;
    ForEachLine(m_Body, [&](std::size_t start, std::size_t length) {
        if (!first)
            data += "\r\n";
        first = false;
        if (encoded)
            AppendQuotedPrintable(data, m_Body.data() + start, length);
        else
            data.append(m_Body, start, length);
    });
    return DotStuffed(data);
}

std::string CMailMessage::GetAttachmentPartHeader(const CMailAttachment& attachment)
{
    // A name that is long or not ASCII is folded and cut into RFC 2231 sections, so that no header
    // line passes 78 characters.
    const std::string name = CleanHeaderText(attachment.GetName());
    std::string header = "\r\n\r\n--#BOUNDARY#\r\n";
    std::string line = "Content-Type: application/octet-stream";
    std::size_t column = line.size();
    header += line + HeaderParameter("name", name, column);
    line = "Content-Disposition: attachment";
    column = line.size();
    header += "\r\nContent-Transfer-Encoding: base64\r\n" + line + HeaderParameter("filename", name, column);
    return header + "\r\n\r\n";
}

} // namespace turnpost
