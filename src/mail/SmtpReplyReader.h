#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace turnpost {

/// The code of a reply line: "250-" and "250 " begin one, and so does a bare "250" (RFC 5321 4.2).
/// nullopt for a line that begins otherwise.
std::optional<int> ReplyLineCode(std::string_view line);

/// Assembles SMTP replies (RFC 5321 4.2) from received bytes, however they are split. Bytes after a
/// complete reply stay buffered for the next one. Works without a socket, so any byte sequence can be
/// fed to it.
class CSmtpReplyReader
{
public:
    /// Longest reply line accepted, without its CR LF.
    static constexpr std::size_t MaxLineLength = 999;
    /// Longest reply accepted in all, so that an endless multi-line reply cannot grow without bound.
    static constexpr std::size_t MaxReplyLength = 64 * 1024;

    enum class Status
    {
        Incomplete,
        Complete,
        LineTooLong,
        ReplyTooLong
    };

    /// Where the next received bytes go, and how many fit (always room for one more line).
    char* FreeSpace() { return m_Buffer + m_End; }
    std::size_t FreeSize() const { return sizeof m_Buffer - m_End; }
    /// Accounts for count bytes written to FreeSpace.
    void Commit(std::size_t count) { m_End += count; }
    /// Copies as much as fits; returns the number of bytes taken.
    std::size_t Append(const char* data, std::size_t count);

    /// Takes the buffered lines. Complete: Code and Text describe the reply, and the next call starts
    /// a new one. LineTooLong or ReplyTooLong: the stream cannot be trusted any more.
    Status Next();

    /// The reply's code, 0 when the reply is malformed (no three-digit code, or lines that disagree).
    int Code() const { return m_Code; }
    /// The reply's lines joined by CR LF, without the final CR LF.
    const std::string& Text() const { return m_Text; }
    /// What has arrived of an unfinished reply: its complete lines and the start of the next.
    std::string Partial() const;
    /// True when bytes of a later reply are waiting.
    bool HasBufferedBytes() const { return m_End > m_Start; }

    void Reset();

private:
    bool TakeLine(std::size_t length); // one line without its CR LF; true when it ends the reply

    char m_Buffer[2048];
    std::size_t m_Start = 0; // first byte not yet taken
    std::size_t m_End = 0;   // end of the received bytes
    std::string m_Text;
    int m_Code = 0;
    int m_FirstCode = -1;
    bool m_Consistent = true;
    bool m_Done = false;
};

} // namespace turnpost
