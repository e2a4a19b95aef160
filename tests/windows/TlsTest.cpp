#include "platform/Clock.h"
#include "platform/ErrorCode.h"
#include "platform/LastError.h"
#include "platform/Network.h"
#include "platform/Socket.h"
#include "platform/TlsContext.h"
#include "platform/TlsSession.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>
#include <winsock2.h>

namespace turnpost {
namespace {

// TLS servers on the Linux side of Wine, started by tls_servers.sh: one whose certificate a CA of
// the test's own (imported into this user's roots) issued for localhost and 127.0.0.1, one with a
// self-signed certificate, and one whose certificate an intermediate authority issued, which it
// does not send along. Each answers a line with "echo " and the line.
class WindowsTls : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(StartNetwork());
        const char* ports = std::getenv("TURNPOST_TLS_PORTS");
        if (ports == nullptr)
            GTEST_SKIP() << "no TLS servers (run through tls_servers.sh)";
        std::stringstream list(ports);
        for (std::string port; std::getline(list, port, ',');)
            m_Ports.push_back(port);
        ASSERT_EQ(m_Ports.size(), 3u) << ports;
    }
    std::string Trusted() const { return "127.0.0.1:" + m_Ports[0]; }
    std::string SelfSigned() const { return "127.0.0.1:" + m_Ports[1]; }
    std::string IssuerMissing() const { return "127.0.0.1:" + m_Ports[2]; }

private:
    std::vector<std::string> m_Ports;
};

std::string ReadLine(CTlsSession& session, CSocket& socket)
{
    std::string line;
    char buffer[256];
    while (line.find('\n') == std::string::npos) {
        const long n = session.Receive(buffer, sizeof buffer, 2000);
        if (n == CTlsSession::WouldBlock) {
            if (session.Pending() == 0 && socket.WaitReadable(5000) != CSocket::WaitResult::Readable)
                break;
            continue;
        }
        if (n <= 0)
            break;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    return line;
}

TEST_F(WindowsTls, VerifiesTheServerByNameOrAddress)
{
    const struct
    {
        std::string server;
        std::string host;
        std::string error; // empty when the handshake is to succeed
    } cases[] = {
        {Trusted(), "localhost", ""},
        {Trusted(), "127.0.0.1", ""},
        {Trusted(), "mail.other.test", "TLS handshake failed: certificate verify failed (hostname mismatch)"},
        {Trusted(), "127.0.0.2", "TLS handshake failed: certificate verify failed (IP address mismatch)"},
        {SelfSigned(), "localhost",
         "TLS handshake failed: certificate verify failed (self-signed certificate)"},
        {IssuerMissing(), "localhost",
         "TLS handshake failed: certificate verify failed (unable to get local issuer certificate)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server + " as " + c.host);
        CSocket socket;
        ASSERT_TRUE(socket.Connect(c.server, 465, 5000));
        CTlsSession session;
        const bool ok = session.Handshake(socket.Handle(), c.host, 10000);
        EXPECT_EQ(session.GetErrorText(), c.error);
        if (!c.error.empty()) {
            EXPECT_FALSE(ok);
            EXPECT_TRUE(session.CertificateRejected());
            EXPECT_EQ(GetLastError(), TlsFailureError);
            EXPECT_FALSE(session.Write("x\n", 2, 1000)) << "nothing goes out over a rejected session";
            continue;
        }
        ASSERT_TRUE(ok);
        ASSERT_TRUE(session.IsEstablished());
        // A request large enough for several records, and its answer.
        const std::string request = std::string(40000, 'a') + "\n";
        ASSERT_TRUE(session.Write(request.data(), request.size(), 5000)) << session.GetErrorText();
        EXPECT_EQ(ReadLine(session, socket), "echo " + request);
        session.Shutdown();
        EXPECT_FALSE(session.IsEstablished());
    }
}

TEST_F(WindowsTls, ASharedContextServesEveryConnection)
{
    const auto context = std::make_shared<CTlsContext>();
    ASSERT_TRUE(context->IsValid()) << context->GetErrorText();
    for (int round = 0; round < 3; ++round) {
        CSocket socket;
        ASSERT_TRUE(socket.Connect(Trusted(), 465, 5000));
        CTlsSession session;
        ASSERT_TRUE(session.Handshake(socket.Handle(), "localhost", 10000, context))
            << session.GetErrorText();
        ASSERT_TRUE(session.Write("ping\n", 5, 5000));
        EXPECT_EQ(ReadLine(session, socket), "echo ping\n");
        session.Shutdown();
    }
    // SChannel resumes by itself and the count is what it reports; Wine resumes none, so only the
    // bound is checked here.
    EXPECT_LE(context->ResumedCount(), 2);
}

TEST_F(WindowsTls, TheServersGoodbyeEndsTheStream)
{
    CSocket socket;
    ASSERT_TRUE(socket.Connect(Trusted(), 465, 5000));
    CTlsSession session;
    ASSERT_TRUE(session.Handshake(socket.Handle(), "localhost", 10000)) << session.GetErrorText();
    ASSERT_TRUE(session.Write("bye\n", 4, 5000));
    EXPECT_EQ(ReadLine(session, socket), "echo bye\n");
    char buffer[16];
    // As a caller does it: the socket is waited for only when the session has nothing of its own.
    long n = CTlsSession::WouldBlock;
    while (n == CTlsSession::WouldBlock) {
        if (session.Pending() == 0 && socket.WaitReadable(5000) != CSocket::WaitResult::Readable)
            break;
        n = session.Receive(buffer, sizeof buffer, 2000);
    }
    EXPECT_EQ(n, 0) << session.GetErrorText();
    EXPECT_FALSE(session.HasFailed());
}

// Peers that are no TLS servers, on a listener of the test's own: each handshake ends within its
// time and says why.
TEST(WindowsTlsPeers, AHandshakeWithNoTlsServerFailsInTime)
{
    ASSERT_TRUE(StartNetwork());
    enum class Peer
    {
        Silent,
        Greets,
        Closes
    };
    const struct
    {
        Peer peer;
        std::uint32_t error;
        std::string text;
    } cases[] = {
        {Peer::Silent, ErrorNumber(ErrorCode::TimedOut), "TLS handshake failed: timed out"},
        {Peer::Greets, TlsFailureError, ""},
        {Peer::Closes, ErrorNumber(ErrorCode::ConnectionClosed), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.peer));
        const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(listener, 1), 0);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);

        CSocket socket;
        ASSERT_TRUE(socket.Connect("127.0.0.1:" + std::to_string(ntohs(address.sin_port)), 465, 2000));
        const SOCKET peer = ::accept(listener, nullptr, nullptr);
        if (c.peer == Peer::Greets) {
            const std::string greeting(2000, 'x'); // plain text where a TLS record should be
            ::send(peer, greeting.data(), static_cast<int>(greeting.size()), 0);
        }
        if (c.peer == Peer::Closes)
            ::closesocket(peer);
        CTlsSession session;
        const std::uint32_t start = TickCount();
        EXPECT_FALSE(session.Handshake(socket.Handle(), "localhost", 300));
        EXPECT_LT(TickCount() - start, 3000u);
        EXPECT_EQ(GetLastError(), c.error) << session.GetErrorText();
        if (!c.text.empty()) {
            EXPECT_EQ(session.GetErrorText(), c.text);
        }
        EXPECT_EQ(session.GetErrorText().rfind("TLS handshake failed: ", 0), 0u) << session.GetErrorText();
        EXPECT_FALSE(session.CertificateRejected());
        EXPECT_TRUE(session.HasFailed());
        if (c.peer != Peer::Closes)
            ::closesocket(peer);
        ::closesocket(listener);
    }
}

} // namespace
} // namespace turnpost
