#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace turnpost {

/// The largest file that is mailed; no mail server takes much more. A larger file is refused before
/// anything of it is read.
inline constexpr std::uint64_t MaxAttachmentSize = std::uint64_t{256} << 20;

/// A file mailed as base64 in 76-character lines ended by CR LF, with the file's name (without
/// folder) for its part header. Opened, the file is checked and measured but not read: its text is
/// read, encoded and hashed in slices while it is sent, so memory stays the same whatever its size.
/// Loaded, its encoded text is held whole, for a file that many messages carry.
class CMailAttachment
{
public:
    /// Input bytes per slice: 1 MiB less a few bytes, a multiple of 57 so that every slice but the
    /// last ends with a whole line.
    static constexpr std::size_t SliceSize = (std::size_t{1} << 20) / 57 * 57;

    /// Checks that the file is a regular file that can be opened and is not too large, and notes its
    /// size; reads nothing. False when it cannot be mailed; GetError then says why, naming the file.
    bool Open(const std::string& path);
    /// Open, then reads and encodes the whole file now and holds the text. False when it cannot be
    /// read whole; the attachment is then empty.
    bool Load(const std::string& path);
    const std::string& GetError() const { return m_Error; }

    const std::string& GetName() const { return m_Name; }
    const std::string& GetPath() const { return m_Path; }
    /// The size of the file as it was opened, and so the size that is mailed.
    std::uint64_t GetSize() const { return m_Size; }
    bool IsHeld() const { return m_EncodedText != nullptr; }
    /// The held text; empty unless loaded.
    std::string_view GetEncodedText() const { return {m_EncodedText.get(), m_EncodedLength}; }
    /// How many characters Stream writes, line breaks included.
    std::uint64_t GetEncodedLength() const { return m_Path.empty() ? 0 : EncodedLength(m_Size); }
    static std::uint64_t EncodedLength(std::uint64_t size);

    /// What one sending of the attachment read.
    struct Sent
    {
        bool Ok = false;
        /// The SHA-256 of the bytes encoded, as lower-case hex; set when Ok.
        std::string Sha256;
        /// Why the file could not be sent whole, naming it; empty when Ok or when write refused.
        std::string Error;
    };
    /// Hands the encoded text to write in slices, read from the file (or the held text) and hashed in
    /// the same pass. Fails, with the reason in Error, when the file cannot be read or no longer has
    /// the size it was opened with: the text written so far is then incomplete. Stops when write
    /// returns false (Error stays empty). An attachment never opened writes nothing.
    Sent Stream(const std::function<bool(std::string_view piece)>& write) const;

private:
    void Clear();

    std::string m_Path;
    std::string m_Name;
    std::uint64_t m_Size = 0;
    // Not a std::string: that would fill the whole buffer with zeros before the encoder writes it,
    // a pass over megabytes that costs as much as the encoding.
    std::unique_ptr<char[]> m_EncodedText;
    std::size_t m_EncodedLength = 0;
    std::string m_Sha256; // of a held text
    std::string m_Error;
};

} // namespace turnpost
