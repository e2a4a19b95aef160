#include "platform/Digest.h"

#include "platform/Hex.h"

#include <openssl/evp.h>

namespace turnpost {

std::string Sha256Hex(std::string_view bytes)
{
    CSha256 sha;
    sha.Update(bytes.data(), bytes.size());
    return sha.FinalHex();
}

struct CSha256::State
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> Context{EVP_MD_CTX_new(), EVP_MD_CTX_free};
    bool Failed = false;
};

CSha256::CSha256() : m_State(std::make_unique<State>())
{
    m_State->Failed =
        !m_State->Context || EVP_DigestInit_ex(m_State->Context.get(), EVP_sha256(), nullptr) != 1;
}

CSha256::~CSha256() = default;

void CSha256::Update(const void* data, std::size_t size)
{
    if (!m_State->Failed && EVP_DigestUpdate(m_State->Context.get(), data, size) != 1)
        m_State->Failed = true;
}

std::string CSha256::FinalHex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (m_State->Failed || EVP_DigestFinal_ex(m_State->Context.get(), digest, &length) != 1)
        return {};
    m_State->Failed = true;
    return HexText(digest, length);
}

} // namespace turnpost
