#pragma once

#include "platform/ErrorCode.h"
#include "platform/SocketHandle.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace turnpost {

class CTlsContext;

/// The last-error number of a connection given up because TLS failed (a handshake that did not
/// verify, a protocol error): Windows Sockets' "connection aborted", as the client aborts it.
constexpr std::uint32_t TlsFailureError = ErrorNumber(ErrorCode::ConnectionAborted);

/// A TLS client session over a TCP socket that is already connected and non-blocking. The peer is
/// always verified against the system's certificate store and the host name it was reached by.
/// Every wait for the peer is bounded by the caller's time-out, counted from the last progress.
/// Failures set the last-error number (10060 when time ran out, TlsFailureError for TLS's own
/// faults, the socket layer's otherwise) and leave a readable text in GetErrorText.
class CTlsSession
{
public:
    CTlsSession();
    ~CTlsSession();
    CTlsSession(const CTlsSession&) = delete;
    CTlsSession& operator=(const CTlsSession&) = delete;

    /// Runs the client handshake on socket for host (a name, or an IPv4/IPv6 literal without
    /// brackets). The socket stays owned by the caller and must outlive the session. With a shared
    /// context the certificate store is not read again and a session it keeps for this server and
    /// port is resumed; without one the session reads the store for itself.
    bool Handshake(SocketHandle socket, const std::string& host, std::uint32_t timeoutMs,
                   const std::shared_ptr<CTlsContext>& context = nullptr);

    /// Sends all bytes; false on failure or when the peer takes nothing for timeoutMs.
    bool Write(const char* data, std::size_t length, std::uint32_t timeoutMs);

    /// What Receive returns when no data was ready (the socket carried only TLS's own records).
    static constexpr long WouldBlock = -2;
    /// Takes what is there without waiting for data (for a caller that polls the socket itself):
    /// the count, 0 when closed, -1 on failure, or WouldBlock. timeoutMs bounds only a write that
    /// TLS may need on the way.
    long Receive(char* buffer, std::size_t length, std::uint32_t timeoutMs);

    /// Decrypted bytes that can be read without touching the socket (where records are read ahead,
    /// an end of the stream already read counts as one, for Receive to report).
    std::size_t Pending() const;

    /// Says goodbye with close_notify without waiting for the peer's; the socket stays open. After
    /// the stream broke (a reset, a close without close_notify) the session stays resumable; after
    /// a failure of TLS itself it does not.
    void Shutdown();

    bool IsEstablished() const { return m_Established; }
    /// True after any failure since the handshake began: the stream is then unusable.
    bool HasFailed() const { return m_Failed; }
    /// True when the handshake failed because the server's certificate did not verify.
    bool CertificateRejected() const { return m_CertificateRejected; }

    /// Why the last operation failed, such as
    /// "TLS handshake failed: certificate verify failed (hostname mismatch)".
    const std::string& GetErrorText() const { return m_ErrorText; }

private:
    // What the system's TLS code keeps for the connection.
    struct CState;

    void Fail(const char* what, const std::string& reason, std::uint32_t error);
    void Reset();

    std::shared_ptr<CTlsContext> m_Context;
    std::unique_ptr<CState> m_State;
    bool m_Established = false;
    bool m_Failed = false;
    bool m_CertificateRejected = false;
    std::string m_ErrorText;
};

/// True when host is an IPv4 or IPv6 address literal (without brackets).
bool IsAddressLiteral(const std::string& host);

} // namespace turnpost
