#include "mail/SmtpReplyReader.h"

#include "platform/Text.h"

#include <cstring>

namespace turnpost {

std::optional<int> ReplyLineCode(std::string_view line)
{
    if (line.size() < 3 || !IsAsciiDigit(line[0]) || !IsAsciiDigit(line[1]) || !IsAsciiDigit(line[2]))
        return std::nullopt;
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-')
        return std::nullopt;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

std::size_t CSmtpReplyReader::Append(const char* data, std::size_t count)
{
    const std::size_t taken = count < FreeSize() ? count : FreeSize();
    if (taken > 0)
        std::memcpy(FreeSpace(), data, taken);
    Commit(taken);
    return taken;
}

void CSmtpReplyReader::Reset()
{
    m_Start = m_End = 0;
    m_Text.clear();
    m_Code = 0;
    m_FirstCode = -1;
    m_Consistent = true;
    m_Done = false;
}

std::string CSmtpReplyReader::Partial() const
{
    std::string partial = m_Done ? std::string() : m_Text;
    if (m_End > m_Start) {
        if (!partial.empty())
            partial += "\r\n";
        partial.append(m_Buffer + m_Start, m_End - m_Start);
    }
    return partial;
}

bool CSmtpReplyReader::TakeLine(std::size_t length)
{
    const char* line = m_Buffer + m_Start;
    if (!m_Text.empty() || m_FirstCode >= 0)
        m_Text += "\r\n";
    m_Text.append(line, length);

    // "NNN-text" continues the reply; "NNN text" or "NNN" alone ends it (RFC 5321 4.2.1). A line of
    // any other form cannot be continued either: it ends the reply as malformed.
    const std::optional<int> lineCode = ReplyLineCode({line, length});
    const bool coded = lineCode.has_value();
    const int code = lineCode.value_or(0);
    if (m_FirstCode < 0)
        m_FirstCode = code;
    else if (code != m_FirstCode)
        m_Consistent = false;
    if (coded && length > 3 && line[3] == '-')
        return false;
    m_Code = coded && m_Consistent ? code : 0;
    return true;
}

CSmtpReplyReader::Status CSmtpReplyReader::Next()
{
    if (m_Done) {
        m_Text.clear();
        m_Code = 0;
        m_FirstCode = -1;
        m_Consistent = true;
        m_Done = false;
    }
    Status status = Status::Incomplete;
    while (status == Status::Incomplete) {
        const char* begin = m_Buffer + m_Start;
        const std::size_t available = m_End - m_Start;
        const void* found = available > 1 ? std::memchr(begin + 1, '\n', available - 1) : nullptr;
        // Only CR LF ends a line; a lone LF is part of the text.
        while (found != nullptr && static_cast<const char*>(found)[-1] != '\r') {
            const char* after = static_cast<const char*>(found) + 1;
            found = std::memchr(after, '\n', static_cast<std::size_t>(m_Buffer + m_End - after));
        }
        if (found == nullptr) {
            // An unfinished line: a trailing CR may still be the start of its CR LF.
            std::size_t length = available;
            if (length > 0 && begin[length - 1] == '\r')
                --length;
            if (length > MaxLineLength)
                return Status::LineTooLong;
            break;
        }
        const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(found) - begin) - 1;
        if (length > MaxLineLength)
            return Status::LineTooLong;
        if (m_Text.size() + length + 2 > MaxReplyLength)
            return Status::ReplyTooLong;
        const bool last = TakeLine(length);
        m_Start += length + 2;
        if (last) {
            m_Done = true;
            status = Status::Complete;
        }
    }
    // Keep the rest at the front so that a whole line always fits behind it.
    if (m_Start > 0) {
        std::memmove(m_Buffer, m_Buffer + m_Start, m_End - m_Start);
        m_End -= m_Start;
        m_Start = 0;
    }
    return status;
}

} // namespace turnpost
