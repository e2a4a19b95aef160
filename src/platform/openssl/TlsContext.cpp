#include "platform/TlsContext.h"

#include "platform/openssl/OpenSslError.h"
#include "platform/openssl/TlsState.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace turnpost {

namespace {

// The server key of a connection, kept with its SSL object so the session callback finds it.
int KeyIndex()
{
    static const int index = SSL_get_ex_new_index(
        0, nullptr, nullptr, nullptr,
        [](void*, void* key, CRYPTO_EX_DATA*, int, long, void*) { delete static_cast<std::string*>(key); });
    return index;
}

// A folder of certificates named by their subject hash ("5ad8a5d6.0", as c_rehash and Debian's
// ca-certificates make them), where OpenSSL finds the one a handshake needs without reading the rest.
bool IsHashedFolder(const char* path)
{
    std::error_code error;
    std::filesystem::directory_iterator entry(path, error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        const auto isHex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
        const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
        if (name.size() > 9 && name[8] == '.' && std::all_of(name.begin(), name.begin() + 8, isHex) &&
            std::all_of(name.begin() + 9, name.end(), isDigit))
            return true;
    }
    return false;
}

// Reading the whole bundle costs more CPU than the rest of a run; the system's hashed folder gives
// the same certificates one at a time, as they are asked for. What SSL_CERT_FILE or SSL_CERT_DIR say
// is done exactly as OpenSSL's defaults do it.
bool LoadTrustStore(SSL_CTX* context)
{
    const bool chosen = std::getenv(X509_get_default_cert_file_env()) != nullptr ||
                        std::getenv(X509_get_default_cert_dir_env()) != nullptr;
    const char* folder = X509_get_default_cert_dir();
    if (!chosen && IsHashedFolder(folder))
        return SSL_CTX_load_verify_locations(context, nullptr, folder) == 1;
    return SSL_CTX_set_default_verify_paths(context) == 1;
}

std::string OpenSslReason()
{
    const std::string reason = TakeOpenSslError(OpenSslText::Line);
    return reason.empty() ? "unknown reason" : reason;
}

} // namespace

CTlsContext::CTlsContext() : m_State(std::make_unique<CState>())
{
    ERR_clear_error();
    SSL_CTX*& context = m_State->Context;
    context = SSL_CTX_new(TLS_client_method());
    if (context == nullptr) {
        m_ErrorText = OpenSslReason();
        return;
    }
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (!LoadTrustStore(context)) {
        m_ErrorText = "cannot load the system's certificates: " + OpenSslReason();
        SSL_CTX_free(context);
        context = nullptr;
        return;
    }
    // Sessions are kept here, per server, rather than in OpenSSL's cache, which a client cannot
    // look up by server. TLS 1.3 hands them out after the handshake, as tickets.
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_set_app_data(context, m_State.get());
    SSL_CTX_sess_set_new_cb(context, &CState::OnNewSession);
}

CTlsContext::~CTlsContext() = default;

bool CTlsContext::IsValid() const
{
    return m_State->Context != nullptr;
}

CTlsContext::CState::~CState()
{
    for (auto& [key, session] : Sessions)
        SSL_SESSION_free(session);
    SSL_CTX_free(Context);
}

void CTlsContext::CState::PrepareResumption(SSL* ssl, const std::string& key)
{
    SSL_set_ex_data(ssl, KeyIndex(), new std::string(key));
    const std::lock_guard lock(Mutex);
    const auto kept = Sessions.find(key);
    // A session that can no longer be resumed only costs the bytes of offering it; OpenSSL then
    // runs a full handshake.
    if (kept != Sessions.end())
        SSL_set_session(ssl, kept->second);
}

int CTlsContext::CState::OnNewSession(SSL* ssl, SSL_SESSION* session)
{
    auto* self = static_cast<CState*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    const auto* key = static_cast<const std::string*>(SSL_get_ex_data(ssl, KeyIndex()));
    if (self == nullptr || key == nullptr || !SSL_SESSION_is_resumable(session))
        return 0;
    const std::lock_guard lock(self->Mutex);
    SSL_SESSION*& slot = self->Sessions[*key];
    SSL_SESSION_free(slot);
    slot = session;
    return 1; // the session is ours now
}

void CTlsContext::CState::NoteHandshake(SSL* ssl)
{
    if (SSL_session_reused(ssl) == 1) {
        const std::lock_guard lock(Mutex);
        ++Resumed;
    }
}

int CTlsContext::ResumedCount() const
{
    const std::lock_guard lock(m_State->Mutex);
    return m_State->Resumed;
}

} // namespace turnpost
