#include "send/PlayerAttempt.h"

#include "mail/MailAttachment.h"
#include "platform/Clock.h"
#include "platform/Digest.h"
#include "platform/Files.h"
#include "setup/AdditionalFiles.h"

#include <vector>

namespace turnpost {

namespace {

/// The file's SHA-256 as lower-case hex, read in slices so that a file of any size costs no more
/// memory than one slice; empty when it cannot be read.
std::string FileSha256(ReadableFile& file)
{
    CSha256 sha;
    std::vector<unsigned char> slice(1 << 16);
    for (;;) {
        const long n = file.Read(slice.data(), slice.size());
        if (n < 0)
            return {};
        if (n == 0)
            break;
        sha.Update(slice.data(), static_cast<std::size_t>(n));
    }
    return sha.FinalHex();
}

} // namespace

std::vector<AttachedFile> CAttachmentDigests::ForPlayer(const GameSetup& setup, int index)
{
    std::vector<AttachedFile> files;
    // In the order the message carries them: the universe file first.
    if (setup.SendUniverseFile && !setup.UniverseFile.empty())
        files.push_back(Describe(setup.UniverseFile));
    const std::string& playerFile = setup.Players[static_cast<std::size_t>(index)].PlayerFile;
    if (setup.SendPlayerFile && !playerFile.empty())
        files.push_back(Describe(playerFile));
    for (const std::string& path : AdditionalFilesForPlayer(setup, index + 1))
        files.push_back(Describe(path));
    return files;
}

AttachedFile CAttachmentDigests::Describe(const std::string& path)
{
    if (const auto known = m_Known.find(path); known != m_Known.end())
        return known->second;
    AttachedFile file;
    file.Path = path;
    if (ReadableFile readable = OpenRegularFile(path)) {
        file.Size = readable.Size();
        if (file.Size <= MaxAttachmentSize)
            file.Sha256 = FileSha256(readable);
    }
    m_Known.emplace(path, file);
    return file;
}

std::string AttemptTime()
{
    return FormatUtcTime("%Y-%m-%dT%H:%M:%SZ", CurrentTime());
}

} // namespace turnpost
