#include "mail/MailMessage.h"

#include "mail/MailAttachment.h"
#include "platform/Kernel.h"

#include <algorithm>
#include <cstdio>

namespace turnpost {

namespace {

constexpr std::size_t MaxDataLine = 998;   // RFC 5321 4.5.3.1.6, without CR LF
constexpr std::size_t MaxEncodedLine = 76; // RFC 2045 6.7
constexpr char Hex[] = "0123456789ABCDEF";

bool IsAscii(const std::string& text)
{
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// A CR or LF inside a value would start a header of the sender's choosing.
std::string HeaderValue(const std::string& value)
{
    std::string clean = value;
    std::replace(clean.begin(), clean.end(), '\r', ' ');
    std::replace(clean.begin(), clean.end(), '\n', ' ');
    return clean;
}

// RFC 2047 encoded words of at most 75 characters, split between UTF-8 characters, folded onto
// continuation lines.
std::string EncodedWords(const std::string& text)
{
    constexpr std::size_t MaxBytes = 45; // 60 base64 characters inside "=?utf-8?B?" and "?="
    std::string words;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = std::min(text.size(), start + MaxBytes);
        if (end < text.size()) {
            std::size_t cut = end;
            while (cut > start && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
                --cut;
            if (cut > start)
                end = cut;
        }
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.data() + start);
        std::string encoded(
            static_cast<std::size_t>(Base64BufferSize(static_cast<std::int64_t>(end - start))), '\0');
        std::size_t length = 0;
        EncodeBase64(bytes, end - start, encoded.data(), encoded.size(), &length);
        encoded.resize(length >= 2 ? length - 2 : 0); // no line break inside one short word
        if (!words.empty())
            words += "\r\n ";
        words += "=?utf-8?B?" + encoded + "?=";
        start = end;
    }
    return words;
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

std::string HeaderAddress(const CMailAddress& address)
{
    const std::string email = HeaderValue(address.TrimmedAddress());
    if (address.FriendlyName.empty())
        return email;
    return Phrase(address.FriendlyName) + " <" + email + ">";
}

// A MIME parameter (RFC 2045): a token as it is, other ASCII quoted, anything else in the extended
// form of RFC 2231.
std::string Parameter(const std::string& key, const std::string& value)
{
    static const std::string Specials = "()<>@,;:\\\"/[]?= ";
    if (!IsAscii(value)) {
        std::string encoded = key + "*=utf-8''";
        for (const char ch : value) {
            const auto c = static_cast<unsigned char>(ch);
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                c == '-' || c == '_') {
                encoded += ch;
            } else {
                encoded += '%';
                encoded += Hex[c >> 4];
                encoded += Hex[c & 15];
            }
        }
        return encoded;
    }
    const bool token = std::none_of(value.begin(), value.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F || Specials.find(c) != std::string::npos;
    });
    if (token)
        return key + "=" + value;
    std::string quoted = key + "=\"";
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F)
            quoted += ' ';
        else {
            if (ch == '"' || ch == '\\')
                quoted += '\\';
            quoted += ch;
        }
    }
    return quoted + "\"";
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
            token[1] = Hex[c >> 4];
            token[2] = Hex[c & 15];
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

} // namespace

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
        to += HeaderAddress(recipient);
    }
    const std::string subject = HeaderValue(Subject);
    // A subject that is not ASCII, or that would not fit on one SMTP line, goes as encoded words.
    const bool encodeSubject = !IsAscii(subject) || subject.size() + 9 > MaxDataLine;

    std::string header;
    header += "From: " + HeaderAddress(From) + "\r\n";
    header += "To: " + to + "\r\n";
    header += "Subject: " + (encodeSubject ? EncodedWords(subject) : subject) + "\r\n";
    // A numeric zone, as RFC 5322 3.3 requires.
    header += "Date: " + FormatLocalTime("%a, %d %b %Y %H:%M:%S %z") + "\r\n";
    header += "X-Mailer: " + HeaderValue(XMailer) + "\r\n";
    if (!ReplyTo.TrimmedAddress().empty())
        header += "Reply-To: " + HeaderAddress(ReplyTo) + "\r\n";
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
    const std::string& name = attachment.GetName();
    return "\r\n\r\n--#BOUNDARY#\r\nContent-Type: application/octet-stream; " + Parameter("name", name) +
           "\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; " +
           Parameter("filename", name) + "\r\n\r\n";
}

} // namespace turnpost
