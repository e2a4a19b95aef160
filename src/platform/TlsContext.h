#pragma once

#include <map>
#include <mutex>
#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_session_st SSL_SESSION;

namespace turnpost {

/// What the TLS sessions of one run share: the client settings and the system's certificate store,
/// set up once (where the system keeps a hashed folder of certificates, each is read only when a
/// handshake needs it; otherwise the whole bundle is read, which costs more than a handshake), and
/// the last session each server granted, so that the next connection to it resumes instead of
/// running a full handshake.
class CTlsContext
{
public:
    /// Opens the certificate store as it is now: SSL_CERT_FILE and SSL_CERT_DIR when either is set,
    /// otherwise the system's hashed folder, or OpenSSL's default bundle where there is none.
    CTlsContext();
    ~CTlsContext();
    CTlsContext(const CTlsContext&) = delete;
    CTlsContext& operator=(const CTlsContext&) = delete;

    /// False when the context could not be made or the store not read; GetErrorText says why.
    bool IsValid() const { return m_Context != nullptr; }
    const std::string& GetErrorText() const { return m_ErrorText; }
    /// How many handshakes so far resumed a kept session.
    int ResumedCount() const;

private:
    // Only the session's TLS code sees the library's own types.
    friend class CTlsSession;

    SSL_CTX* Handle() const { return m_Context; }
    /// Prepares ssl for a connection to the server named by key (host and port): offers the session
    /// kept for it, and keeps what the server grants on this connection for the next one.
    void PrepareResumption(SSL* ssl, const std::string& key);
    /// Counts ssl's handshake as resumed when it was.
    void NoteHandshake(SSL* ssl);
    static int OnNewSession(SSL* ssl, SSL_SESSION* session);

    SSL_CTX* m_Context = nullptr;
    std::string m_ErrorText;
    mutable std::mutex m_Mutex;
    std::map<std::string, SSL_SESSION*> m_Sessions;
    int m_Resumed = 0;
};

} // namespace turnpost
