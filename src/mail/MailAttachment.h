#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace turnpost {

/// The largest file that is mailed. Its encoded text is held in memory while the message is sent, and
/// no mail server takes much more; a larger file is refused before anything is allocated for it.
inline constexpr std::uint64_t MaxAttachmentSize = std::uint64_t{256} << 20;

/// A file read whole and encoded as base64 in 76-character lines ended by CR LF, with the file's
/// name (without folder) for its part header.
class CMailAttachment
{
public:
    /// Reads and encodes the file. False when it cannot be read whole; the attachment is then empty
    /// and GetError says why, naming the file.
    bool Load(const std::string& path);
    const std::string& GetError() const { return m_Error; }

    const std::string& GetName() const { return m_Name; }
    std::string_view GetEncodedText() const { return {m_EncodedText.get(), m_EncodedLength}; }

private:
    std::string m_Name;
    // Not a std::string: that would fill the whole buffer with zeros before the encoder writes it,
    // a pass over megabytes that costs as much as the encoding.
    std::unique_ptr<char[]> m_EncodedText;
    std::size_t m_EncodedLength = 0;
    std::string m_Error;
};

} // namespace turnpost
