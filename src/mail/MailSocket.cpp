#include "mail/MailSocket.h"

namespace turnpost {

bool CMailSocket::Connect(const std::string& server, std::uint16_t defaultPort)
{
    return m_Socket.Connect(server, defaultPort, m_Timeout);
}

bool CMailSocket::Send(const void* data, std::size_t length, bool more)
{
    return m_Socket.Send(data, length, m_Timeout, more);
}

CMailSocket::WaitResult CMailSocket::WaitReadable(int timeoutMs)
{
    return m_Socket.WaitReadable(timeoutMs);
}

long CMailSocket::Receive(void* buffer, std::size_t length)
{
    return m_Socket.Receive(buffer, length);
}

void CMailSocket::Close()
{
    m_Socket.Close();
}

} // namespace turnpost
