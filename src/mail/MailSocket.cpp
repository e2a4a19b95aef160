#include "mail/MailSocket.h"

namespace turnpost {

bool CMailSocket::Connect(const std::string& server, std::uint16_t defaultPort)
{
    Close();
    std::uint16_t port = 0;
    if (!SplitServerAddress(server, defaultPort, m_Host, port))
        m_Host.clear();
    return m_Socket.Connect(server, defaultPort, m_Timeout);
}

bool CMailSocket::Send(const void* data, std::size_t length, bool more)
{
    if (m_Tls.IsEstablished())
        return m_Tls.Write(static_cast<const char*>(data), length, static_cast<std::uint32_t>(m_Timeout));
    return m_Socket.Send(data, length, m_Timeout, more);
}

CMailSocket::WaitResult CMailSocket::WaitReadable(int timeoutMs)
{
    // Decrypted bytes already taken off the socket would not wake a poll.
    if (m_Tls.IsEstablished() && m_Tls.Pending() > 0)
        return WaitResult::Readable;
    return m_Socket.WaitReadable(timeoutMs);
}

long CMailSocket::Receive(void* buffer, std::size_t length)
{
    if (m_Tls.IsEstablished()) {
        const long n =
            m_Tls.Receive(static_cast<char*>(buffer), length, static_cast<std::uint32_t>(m_Timeout));
        return n == CTlsSession::WouldBlock ? WouldBlock : n;
    }
    return m_Socket.Receive(buffer, length);
}

void CMailSocket::Close()
{
    m_Tls.Shutdown();
    m_Socket.Close();
}

bool CMailSocket::StartTls()
{
    return m_Tls.Handshake(m_Socket.Handle(), m_Host, static_cast<std::uint32_t>(m_Timeout), m_TlsContext);
}

bool CMailSocket::IsPeerLoopback() const
{
    return m_Socket.IsPeerLoopback();
}

} // namespace turnpost
