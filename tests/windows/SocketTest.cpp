#include "platform/Socket.h"
#include "platform/ErrorCode.h"
#include "platform/LastError.h"
#include "platform/Network.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <winsock2.h>
#include <ws2tcpip.h>

namespace turnpost {
namespace {

// A listening socket of the test's own on 127.0.0.1, on a port the system picks.
class CListener
{
public:
    CListener()
    {
        m_Socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        ::bind(m_Socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_Socket, 4);
        ::getsockname(m_Socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_Port = ntohs(address.sin_port);
    }
    ~CListener()
    {
        if (m_Peer != INVALID_SOCKET)
            ::closesocket(m_Peer);
        Close();
    }
    void Close()
    {
        if (m_Socket != INVALID_SOCKET)
            ::closesocket(m_Socket);
        m_Socket = INVALID_SOCKET;
    }
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_Port); }
    SOCKET Accept()
    {
        m_Peer = ::accept(m_Socket, nullptr, nullptr);
        return m_Peer;
    }
    void ClosePeer()
    {
        ::closesocket(m_Peer);
        m_Peer = INVALID_SOCKET;
    }

private:
    SOCKET m_Socket = INVALID_SOCKET;
    SOCKET m_Peer = INVALID_SOCKET;
    unsigned short m_Port = 0;
};

class WindowsSocket : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(StartNetwork()); }
};

TEST_F(WindowsSocket, TalksBothWaysWithALocalPeer)
{
    CListener listener;
    CSocket socket;
    ASSERT_TRUE(socket.Connect(listener.Address(), 25, 2000)) << GetLastError();
    const SOCKET peer = listener.Accept();
    ASSERT_NE(peer, INVALID_SOCKET);
    EXPECT_TRUE(socket.IsPeerLoopback());
    EXPECT_EQ(socket.LocalAddressLiteral(), "[127.0.0.1]");

    ASSERT_TRUE(socket.Send("EHLO x\r\n", 8, 2000, true));
    char got[64] = {};
    EXPECT_EQ(::recv(peer, got, sizeof got, 0), 8);
    EXPECT_STREQ(got, "EHLO x\r\n");

    char buffer[64] = {};
    EXPECT_EQ(socket.Receive(buffer, sizeof buffer), CSocket::WouldBlock) << "nothing was sent yet";
    ASSERT_EQ(::send(peer, "250 ok\r\n", 8, 0), 8);
    ASSERT_EQ(socket.WaitReadable(2000), CSocket::WaitResult::Readable);
    EXPECT_EQ(socket.Receive(buffer, sizeof buffer), 8);
    EXPECT_EQ(std::string(buffer, 8), "250 ok\r\n");

    listener.ClosePeer();
    ASSERT_EQ(socket.WaitReadable(2000), CSocket::WaitResult::Readable);
    EXPECT_EQ(socket.Receive(buffer, sizeof buffer), 0) << "the peer's close reads as the end";
}

TEST_F(WindowsSocket, ASilentPeerRunsOutTheTime)
{
    CListener listener;
    CSocket socket;
    ASSERT_TRUE(socket.Connect(listener.Address(), 25, 2000));
    ASSERT_NE(listener.Accept(), INVALID_SOCKET);
    EXPECT_EQ(socket.WaitReadable(200), CSocket::WaitResult::TimedOut);

    // A peer that reads nothing stops the sender once the buffers on both sides are full.
    const std::vector<char> lump(64 * 1024 * 1024, 'x');
    SetLastError(0);
    EXPECT_FALSE(socket.Send(lump.data(), lump.size(), 300));
    EXPECT_EQ(GetLastError(), ErrorNumber(ErrorCode::TimedOut));
}

TEST_F(WindowsSocket, FailedConnectsSayWhy)
{
    CListener closed;
    const std::string refused = closed.Address();
    closed.Close();
    const struct
    {
        std::string server;
        ErrorCode error;
    } cases[] = {
        {refused, ErrorCode::ConnectionRefused},
        {"no-such-host.invalid", ErrorCode::InvalidArgument},
        {"[127.0.0.1", ErrorCode::InvalidArgument},
        {"127.0.0.1:0", ErrorCode::InvalidArgument},
    };
    for (const auto& c : cases) {
        CSocket socket;
        SetLastError(0);
        EXPECT_FALSE(socket.Connect(c.server, 25, 2000)) << c.server;
        EXPECT_EQ(GetLastError(), ErrorNumber(c.error)) << c.server;
        EXPECT_FALSE(socket.IsOpen()) << c.server;
    }
}

TEST_F(WindowsSocket, LoopbackAddressesAreKnownByTheirText)
{
    for (const char* address : {"127.0.0.1", "127.1.2.3", "::1", "::ffff:127.0.0.1"})
        EXPECT_TRUE(IsLoopbackAddress(address)) << address;
    for (const char* address : {"10.0.0.1", "::2", "localhost", ""})
        EXPECT_FALSE(IsLoopbackAddress(address)) << address;
    const std::string name = LocalDomainName();
    EXPECT_TRUE(name.empty() || IsValidDomainName(name)) << name;
}

} // namespace
} // namespace turnpost
