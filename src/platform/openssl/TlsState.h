#pragma once

#include "platform/TlsContext.h"

#include <openssl/ssl.h>

#include <map>
#include <mutex>
#include <string>

namespace turnpost {

/// OpenSSL's side of a context: its SSL_CTX and the last session each server granted.
struct CTlsContext::CState
{
    CState() = default;
    CState(const CState&) = delete;
    CState& operator=(const CState&) = delete;
    ~CState();

    /// Prepares ssl for a connection to the server named by key (host and port): offers the session
    /// kept for it, and keeps what the server grants on this connection for the next one.
    void PrepareResumption(SSL* ssl, const std::string& key);
    /// Counts ssl's handshake as resumed when it was.
    void NoteHandshake(SSL* ssl);
    static int OnNewSession(SSL* ssl, SSL_SESSION* session);

    SSL_CTX* Context = nullptr;
    mutable std::mutex Mutex;
    std::map<std::string, SSL_SESSION*> Sessions;
    int Resumed = 0;
};

} // namespace turnpost
