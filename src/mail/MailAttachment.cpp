#include "mail/MailAttachment.h"

#include "mail/Base64.h"
#include "platform/Files.h"

#include <cerrno>
#include <memory>

namespace turnpost {

bool CMailAttachment::Load(const std::string& path)
{
    m_Name.clear();
    m_EncodedText.reset();
    m_EncodedLength = 0;

    m_Error.clear();
    ReadableFile file = OpenRegularFile(path);
    if (!file) {
        m_Error = CouldNotOpenMessage(path, file.Error());
        return false;
    }
    const std::uint64_t size = file.Size();
    if (size > MaxAttachmentSize) {
        m_Error =
            "File too large to mail (over " + std::to_string(MaxAttachmentSize >> 20) + " MiB): " + path;
        return false;
    }

    // The file is read and encoded in slices of whole lines, so that only the encoded text needs to
    // be held in full, not the file beside it.
    const auto encodedSize = static_cast<std::size_t>(Base64BufferSize(static_cast<std::int64_t>(size)));
    std::unique_ptr<char[]> encoded(new char[encodedSize]);
    constexpr std::size_t SliceLines = 16 * 1024;
    const std::size_t sliceSize = SliceLines * Base64LineInput;
    std::unique_ptr<unsigned char[]> slice(new unsigned char[sliceSize]);
    std::uint64_t remaining = size;
    std::size_t written = 0;
    bool ok = true;
    do {
        const std::size_t want = remaining < sliceSize ? static_cast<std::size_t>(remaining) : sliceSize;
        // Failed, or the file ended before its reported size.
        if (file.ReadFull(slice.get(), want) != static_cast<long>(want)) {
            ok = false;
            break;
        }
        remaining -= want;
        if (remaining > 0) {
            written += EncodeBase64Lines(slice.get(), want, encoded.get() + written);
        } else {
            std::size_t last = 0;
            EncodeBase64(slice.get(), want, encoded.get() + written, encodedSize - written, &last);
            written += last;
        }
    } while (remaining > 0);
    if (!ok) {
        m_Error = CouldNotOpenMessage(path, EIO);
        return false;
    }

    m_EncodedText = std::move(encoded);
    m_EncodedLength = written;
    m_Name = FileNameOf(path);
    return true;
}

} // namespace turnpost
