#include "send/PlayerAttempt.h"

#include "platform/Clock.h"
#include "platform/Files.h"
#include "setup/AdditionalFiles.h"

#include <openssl/evp.h>

#include <cerrno>
#include <memory>
#include <unistd.h>

namespace turnpost {

namespace {

/// The file's SHA-256 as lower-case hex, read in slices so that a file of any size costs no more
/// memory than one slice; empty when it cannot be read.
std::string FileSha256(const ReadableFile& file)
{
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return {};
    std::vector<unsigned char> slice(1 << 16);
    for (;;) {
        const ssize_t n = ::read(file.Fd, slice.data(), slice.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {};
        if (n == 0)
            break;
        if (EVP_DigestUpdate(context.get(), slice.data(), static_cast<std::size_t>(n)) != 1)
            return {};
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        return {};
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 0x0F];
    }
    return text;
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
    if (const ReadableFile readable = OpenRegularFile(path)) {
        file.Size = readable.Size;
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
