#include "platform/Digest.h"

#include "platform/Hex.h"

#include <algorithm>
#include <windows.h>

// After windows.h, whose types it uses.
#include <bcrypt.h>

namespace turnpost {

namespace {

// One provider for the run: opening it is the costly part, and a hash made from it is cheap.
BCRYPT_ALG_HANDLE Sha256Provider()
{
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE opened = nullptr;
        if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            return BCRYPT_ALG_HANDLE{nullptr};
        return opened;
    }();
    return provider;
}

constexpr std::size_t Sha256Size = 32;

} // namespace

std::string Sha256Hex(std::string_view bytes)
{
    CSha256 sha;
    sha.Update(bytes.data(), bytes.size());
    return sha.FinalHex();
}

struct CSha256::State
{
    BCRYPT_HASH_HANDLE Hash = nullptr;
    bool Failed = false;
    ~State()
    {
        if (Hash)
            ::BCryptDestroyHash(Hash);
    }
};

CSha256::CSha256() : m_State(std::make_unique<State>())
{
    const BCRYPT_ALG_HANDLE provider = Sha256Provider();
    m_State->Failed =
        !provider || !BCRYPT_SUCCESS(::BCryptCreateHash(provider, &m_State->Hash, nullptr, 0, nullptr, 0, 0));
}

CSha256::~CSha256() = default;

void CSha256::Update(const void* data, std::size_t size)
{
    // The hash takes 32-bit counts, and a const-less pointer it does not write through.
    auto* bytes = static_cast<unsigned char*>(const_cast<void*>(data));
    while (!m_State->Failed && size > 0) {
        const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
        if (!BCRYPT_SUCCESS(::BCryptHashData(m_State->Hash, bytes, chunk, 0)))
            m_State->Failed = true;
        bytes += chunk;
        size -= chunk;
    }
}

std::string CSha256::FinalHex()
{
    unsigned char digest[Sha256Size];
    if (m_State->Failed || !BCRYPT_SUCCESS(::BCryptFinishHash(m_State->Hash, digest, sizeof digest, 0)))
        return {};
    m_State->Failed = true;
    return HexText(digest, sizeof digest);
}

} // namespace turnpost
