#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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
    const std::string& GetEncodedText() const { return m_EncodedText; }
    std::uint64_t GetEncodedLength() const { return m_EncodedText.size(); }

private:
    std::string m_Name;
    std::string m_EncodedText;
    std::string m_Error;
};

/// Bytes the encoded form of n input bytes needs, terminating zero included.
std::int64_t Base64BufferSize(std::int64_t n);

/// Encodes n bytes into output (sized by Base64BufferSize), stores the characters written (without
/// the terminating zero) in outputLength. Always true.
bool EncodeBase64(const unsigned char* input, std::size_t n, char* output, std::size_t outputSize,
                  std::size_t* outputLength);

/// Encodes the whole 57-byte lines of input as 76 characters and CR LF each, for encoding a stream
/// in slices; a rest of fewer than 57 bytes is left alone. Returns the characters written.
std::size_t EncodeBase64Lines(const unsigned char* input, std::size_t n, char* output);

} // namespace turnpost
