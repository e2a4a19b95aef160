#include "send/PlayerAttempt.h"

#include "platform/Files.h"
#include "platform/Kernel.h"

#include <openssl/evp.h>

#include <memory>

namespace turnpost {

namespace {

std::string Sha256Hex(const std::string& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1)
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
    return files;
}

AttachedFile CAttachmentDigests::Describe(const std::string& path)
{
    if (const auto known = m_Known.find(path); known != m_Known.end())
        return known->second;
    AttachedFile file;
    file.Path = path;
    std::string bytes;
    if (ReadWholeFile(path, bytes)) {
        file.Size = bytes.size();
        file.Sha256 = Sha256Hex(bytes);
    }
    m_Known.emplace(path, file);
    return file;
}

std::string AttemptTime()
{
    return FormatUtcTime("%Y-%m-%dT%H:%M:%SZ", CurrentTime());
}

} // namespace turnpost
