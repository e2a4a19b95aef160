#pragma once

#include "platform/Socket.h"
#include "platform/TlsSession.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace turnpost {

/// The byte stream under one SMTP connection. All of the connection's I/O passes through here, so
/// that a secured stream can take the place of the plain one without the dialogue noticing.
class CMailSocket
{
public:
    static constexpr long WouldBlock = CSocket::WouldBlock;
    using WaitResult = CSocket::WaitResult;

    /// Bounds connecting and every send (milliseconds since the last progress).
    void SetTimeout(int milliseconds) { m_Timeout = milliseconds; }
    int GetTimeout() const { return m_Timeout; }

    bool Connect(const std::string& server, std::uint16_t defaultPort);
    /// Sends the whole buffer; more lets the stream merge it with the pieces that follow.
    bool Send(const void* data, std::size_t length, bool more = false);
    bool Send(const std::string& text, bool more = false) { return Send(text.data(), text.size(), more); }
    WaitResult WaitReadable(int timeoutMs);
    /// Bytes received, 0 at the end of the stream, -1 on error (last error set) or WouldBlock.
    long Receive(void* buffer, std::size_t length);
    void Close();
    bool IsOpen() const { return m_Socket.IsOpen(); }

    /// Puts TLS over the open connection, verifying the server by the host name it was reached by.
    /// From then on Send, WaitReadable and Receive carry the protected stream.
    bool StartTls();
    /// Shares one TLS context among the connections of a run (certificates read once, sessions
    /// resumed); without one StartTls makes its own.
    void SetTlsContext(std::shared_ptr<CTlsContext> context) { m_TlsContext = std::move(context); }
    bool IsSecure() const { return m_Tls.IsEstablished(); }
    /// True once TLS has failed on this connection: the stream can carry nothing more.
    bool HasTlsFailed() const { return m_Tls.HasFailed(); }
    /// True when StartTls failed because the server's certificate did not verify.
    bool CertificateRejected() const { return m_Tls.CertificateRejected(); }
    /// Why StartTls or a protected send or receive failed, with OpenSSL's reason.
    const std::string& GetTlsErrorText() const { return m_Tls.GetErrorText(); }
    /// True when the peer is this machine (127.0.0.0/8 or ::1), where a connection never leaves it.
    bool IsPeerLoopback() const;
    /// The host as the server was named to Connect, without port or brackets.
    const std::string& GetHost() const { return m_Host; }

    /// The local end as an address literal, for HELO when the host has no usable name.
    std::string LocalAddressLiteral() const { return m_Socket.LocalAddressLiteral(); }

private:
    CSocket m_Socket;
    CTlsSession m_Tls;
    std::shared_ptr<CTlsContext> m_TlsContext;
    std::string m_Host;
    int m_Timeout = 2000;
};

} // namespace turnpost
