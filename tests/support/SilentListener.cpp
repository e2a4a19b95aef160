#include "support/SilentListener.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace turnpost::test {

SilentListener::SilentListener()
{
    m_Socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_Socket, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(m_Socket, 16) != 0)
        ADD_FAILURE() << "cannot listen on loopback";
    ::getsockname(m_Socket, reinterpret_cast<sockaddr*>(&address), &length);
    m_Port = ntohs(address.sin_port);
}

SilentListener::~SilentListener()
{
    Close();
}

bool SilentListener::WasConnected(int waitMilliseconds) const
{
    pollfd p{m_Socket, POLLIN, 0};
    return ::poll(&p, 1, waitMilliseconds) > 0;
}

void SilentListener::Close()
{
    if (m_Socket >= 0)
        ::close(m_Socket);
    m_Socket = -1;
}

} // namespace turnpost::test
