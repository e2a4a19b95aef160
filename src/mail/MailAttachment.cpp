#include "mail/MailAttachment.h"

#include "mail/Base64.h"
#include "platform/Digest.h"
#include "platform/Files.h"

#include <algorithm>
#include <cstring>

namespace turnpost {

namespace {

std::string ChangedMessage(const std::string& path)
{
    return "File changed size while it was being sent: " + path;
}

} // namespace

void CMailAttachment::Clear()
{
    m_Path.clear();
    m_Name.clear();
    m_Size = 0;
    m_EncodedText.reset();
    m_EncodedLength = 0;
    m_Sha256.clear();
    m_Error.clear();
}

std::uint64_t CMailAttachment::EncodedLength(std::uint64_t size)
{
    // Whole lines of 76 characters and CR LF, the rest padded to groups of four, and the closing
    // line break that EncodeBase64 always writes.
    const std::uint64_t lines = size / Base64LineInput;
    const std::uint64_t rest = size % Base64LineInput;
    return lines * 78 + (rest + 2) / 3 * 4 + 2;
}

bool CMailAttachment::Open(const std::string& path)
{
    Clear();
    ReadableFile file = OpenRegularFile(path);
    if (!file) {
        m_Error = CouldNotOpenMessage(path, file.Error());
        return false;
    }
    if (file.Size() > MaxAttachmentSize) {
        m_Error =
            "File too large to mail (over " + std::to_string(MaxAttachmentSize >> 20) + " MiB): " + path;
        return false;
    }
    m_Path = path;
    m_Name = FileNameOf(path);
    m_Size = file.Size();
    return true;
}

bool CMailAttachment::Load(const std::string& path)
{
    if (!Open(path))
        return false;
    const auto length = static_cast<std::size_t>(GetEncodedLength());
    std::unique_ptr<char[]> text(new char[std::max<std::size_t>(length, 1)]);
    std::size_t written = 0;
    const Sent sent = Stream([&](std::string_view piece) {
        // The length was reckoned from the size the file was opened with, and Stream refuses a file
        // that changed since.
        if (piece.size() > length - written)
            return false;
        std::memcpy(text.get() + written, piece.data(), piece.size());
        written += piece.size();
        return true;
    });
    if (!sent.Ok || written != length) {
        const std::string error = sent.Error.empty() ? ChangedMessage(path) : sent.Error;
        Clear();
        m_Error = error;
        return false;
    }
    m_EncodedText = std::move(text);
    m_EncodedLength = length;
    m_Sha256 = sent.Sha256;
    return true;
}

CMailAttachment::Sent CMailAttachment::Stream(const std::function<bool(std::string_view piece)>& write) const
{
    Sent sent;
    if (m_Path.empty()) {
        sent.Ok = true;
        return sent;
    }
    if (IsHeld()) {
        sent.Ok = write(GetEncodedText());
        if (sent.Ok)
            sent.Sha256 = m_Sha256;
        return sent;
    }
    // Opened again: what was measured must be what is sent, since the size of the whole message was
    // declared from it.
    ReadableFile file = OpenRegularFile(m_Path);
    if (!file) {
        sent.Error = CouldNotOpenMessage(m_Path, file.Error());
        return sent;
    }
    if (file.Size() != m_Size) {
        sent.Error = ChangedMessage(m_Path);
        return sent;
    }

    const auto sliceSize = static_cast<std::size_t>(std::min<std::uint64_t>(m_Size, SliceSize));
    std::unique_ptr<unsigned char[]> slice(new unsigned char[std::max<std::size_t>(sliceSize, 1)]);
    const auto encodedSize = static_cast<std::size_t>(Base64BufferSize(static_cast<std::int64_t>(sliceSize)));
    std::unique_ptr<char[]> encoded(new char[encodedSize]);
    CSha256 sha;
    std::uint64_t remaining = m_Size;
    do {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, sliceSize));
        const long got = file.ReadFull(slice.get(), want);
        if (got < 0) {
            sent.Error = CouldNotOpenMessage(m_Path, file.Error());
            return sent;
        }
        if (static_cast<std::size_t>(got) != want) {
            sent.Error = ChangedMessage(m_Path);
            return sent;
        }
        sha.Update(slice.get(), want);
        remaining -= want;
        std::size_t length = 0;
        if (remaining > 0) {
            length = EncodeBase64Lines(slice.get(), want, encoded.get());
        } else {
            EncodeBase64(slice.get(), want, encoded.get(), encodedSize, &length);
            // A file that grew would be mailed cut short; its last slice is not sent either.
            unsigned char more = 0;
            const long beyond = file.Read(&more, 1);
            if (beyond != 0) {
                sent.Error = beyond < 0 ? CouldNotOpenMessage(m_Path, file.Error()) : ChangedMessage(m_Path);
                return sent;
            }
        }
        if (!write({encoded.get(), length}))
            return sent;
    } while (remaining > 0);
    sent.Ok = true;
    sent.Sha256 = sha.FinalHex();
    return sent;
}

} // namespace turnpost
