#pragma once

#include "collect/UuDecode.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace turnpost {

/// What one message says about itself and every named file it carries. Which files are order files
/// is decided later, by name and header.
struct ExtractedMessage
{
    bool Ok = false;
    std::string Error;     ///< why the message was refused, when Ok is false
    std::string MessageId; ///< without the angle brackets
    std::string From;      ///< the address alone
    std::string Subject;   ///< decoded, UTF-8
    std::vector<MessageFile> Files;
    std::vector<std::string> Notes; ///< files that were seen but could not be taken, and why
};

/// Takes the files out of one mail message: attachments and embedded parts (base64, quoted-printable,
/// x-uuencode; names by RFC 2231 and RFC 2047), uuencoded files in a text body, and the same inside
/// forwarded messages. A message larger than the limit or nested beyond reason is refused whole.
class COrderExtractor
{
public:
    std::size_t MaxMessageBytes = 32u << 20;
    /// Forwarded messages inside forwarded messages, at most.
    int MaxForwardDepth = 8;
    /// Multiparts and messages in one message, at most; also what keeps the parser's own recursion
    /// shallow.
    int MaxContainers = 200;

    ExtractedMessage Extract(std::string_view message) const;
};

} // namespace turnpost
