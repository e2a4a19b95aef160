#pragma once

#include <memory>
#include <string>

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
    /// otherwise the system's hashed folder, or OpenSSL's default bundle where there is none. On
    /// Windows it takes the client credentials that every session shares, and the system keeps the
    /// sessions granted per server.
    CTlsContext();
    ~CTlsContext();
    CTlsContext(const CTlsContext&) = delete;
    CTlsContext& operator=(const CTlsContext&) = delete;

    /// False when the context could not be made or the store not read; GetErrorText says why.
    bool IsValid() const;
    const std::string& GetErrorText() const { return m_ErrorText; }
    /// How many handshakes so far resumed a kept session.
    int ResumedCount() const;

private:
    // Only the sessions' TLS code sees the system's own types, which live in what m_State holds.
    friend class CTlsSession;
    struct CState;

    std::unique_ptr<CState> m_State;
    std::string m_ErrorText;
};

} // namespace turnpost
