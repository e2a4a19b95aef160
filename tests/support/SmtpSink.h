#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace turnpost::test {

/// Postfix's smtp-sink on a free loopback port, writing each message it receives to a file of its
/// own in a fresh folder. Stopped and cleaned up in the destructor.
class SmtpSink
{
public:
    /// dump: keep the messages (off for timing runs).
    explicit SmtpSink(bool dump = true);
    ~SmtpSink();
    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;

    /// False when smtp-sink could not be started (not installed); Error() says why.
    bool IsRunning() const { return m_Pid > 0; }
    const std::string& Error() const { return m_Error; }
    std::uint16_t Port() const { return m_Port; }
    /// "127.0.0.1:port", for Connect.
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_Port); }
    const std::string& DumpFolder() const { return m_Folder; }

    /// The dumped messages, oldest first, once there are at least count of them (empty after a few
    /// seconds without).
    std::vector<std::string> WaitForMessages(std::size_t count) const;

private:
    pid_t m_Pid = -1;
    std::uint16_t m_Port = 0;
    std::string m_Folder;
    std::string m_Error;
};

/// A message as Python's email package reads it (see parse_mail.py).
struct ParsedMail
{
    bool Ok = false;
    std::string Error;
    std::string Subject;
    std::string From;
    std::vector<std::string> To;
    std::string EnvelopeFrom;            ///< smtp-sink's record of MAIL FROM
    std::vector<std::string> EnvelopeTo; ///< and of each RCPT TO
    std::string Helo;
    std::string ContentType;
    std::string Text; ///< the decoded text (part)
    std::string TextCharset;
    std::vector<std::string> Defects;
    struct Attachment
    {
        std::string FileName;
        std::uint64_t Size = 0;
        std::string Sha256;
    };
    std::vector<Attachment> Attachments;
};

/// Parses dumped messages with /usr/bin/python3 and its email package, in one run for all of them.
std::vector<ParsedMail> ParseMails(const std::vector<std::string>& paths);

/// The SHA-256 of bytes, as lower-case hex.
std::string Sha256Hex(const std::string& bytes);

/// The path of a helper script in tests/support.
std::string SupportScript(const std::string& name);

} // namespace turnpost::test
