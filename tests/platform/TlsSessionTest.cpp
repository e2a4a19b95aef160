#include "platform/TlsSession.h"
#include "platform/LastError.h"
#include "platform/TlsContext.h"
#include "support/CommandOutput.h"
#include "support/PythonSmtpServer.h"
#include "support/ScopedEnvironment.h"
#include "support/SilentListener.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace turnpost;
using namespace turnpost::test;

namespace {

/// A non-blocking TCP connection to a loopback port, closed at the end of the scope.
class LoopbackSocket
{
public:
    explicit LoopbackSocket(std::uint16_t port)
    {
        m_Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_Fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_Fd);
            m_Fd = -1;
            return;
        }
        ::fcntl(m_Fd, F_SETFL, ::fcntl(m_Fd, F_GETFL) | O_NONBLOCK);
    }
    ~LoopbackSocket()
    {
        if (m_Fd >= 0)
            ::close(m_Fd);
    }
    int Fd() const { return m_Fd; }

private:
    int m_Fd = -1;
};

/// Takes what the session has, waiting for the socket in between as the mail socket does: the count,
/// 0 when the peer has closed, -1 on failure or after ten seconds without data.
long ReadSome(CTlsSession& session, int socket, char* buffer, std::size_t length)
{
    for (;;) {
        const long n = session.Receive(buffer, length, 10000);
        if (n != CTlsSession::WouldBlock)
            return n;
        pollfd ready{socket, POLLIN, 0};
        if (::poll(&ready, 1, 10000) <= 0)
            return -1;
    }
}

/// Reads until CR LF or until the session reports close or failure.
std::string ReadLine(CTlsSession& session, int socket)
{
    std::string line;
    char buffer[256];
    while (line.find("\r\n") == std::string::npos) {
        const long n = ReadSome(session, socket, buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    return line;
}

class TlsSessionTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_Certificates = std::make_unique<TestCertificates>(); }
    static void TearDownTestSuite() { s_Certificates.reset(); }
    void SetUp() override { ASSERT_TRUE(s_Certificates->IsValid()) << s_Certificates->Error(); }

    static SmtpServerOptions ImplicitTls(bool otherHost)
    {
        SmtpServerOptions options;
        options.ImplicitTls = true;
        options.Certificate =
            otherHost ? s_Certificates->OtherCertificate() : s_Certificates->LocalCertificate();
        options.Key = otherHost ? s_Certificates->OtherKey() : s_Certificates->LocalKey();
        return options;
    }

    static std::unique_ptr<TestCertificates> s_Certificates;
    ScopedEnvironment m_Trust{"SSL_CERT_FILE",
                              s_Certificates ? s_Certificates->AuthorityFile() : std::string()};
};

std::unique_ptr<TestCertificates> TlsSessionTest::s_Certificates;

} // namespace

TEST_F(TlsSessionTest, VerifiesTheServerByNameOrAddress)
{
    struct Case
    {
        bool otherCertificate;
        const char* host;
        const char* failure; // empty: the handshake succeeds
    };
    const Case cases[] = {
        {false, "localhost", ""},
        {false, "127.0.0.1", ""},
        {false, "LOCALHOST", ""},
        {true, "localhost", "TLS handshake failed: certificate verify failed (hostname mismatch)"},
        {true, "127.0.0.1", "TLS handshake failed: certificate verify failed (IP address mismatch)"},
        {false, "mail.other.test", "TLS handshake failed: certificate verify failed (hostname mismatch)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        PythonSmtpServer server(ImplicitTls(c.otherCertificate));
        ASSERT_TRUE(server.IsRunning()) << server.Error();
        LoopbackSocket socket(server.Port());
        ASSERT_GE(socket.Fd(), 0);
        CTlsSession session;
        SetLastError(0);
        const bool ok = session.Handshake(static_cast<SocketHandle>(socket.Fd()), c.host, 10000);
        EXPECT_EQ(ok, *c.failure == '\0') << session.GetErrorText();
        if (ok) {
            EXPECT_EQ(ReadLine(session, socket.Fd()).substr(0, 4), "220 ");
            ASSERT_TRUE(session.Write("QUIT\r\n", 6, 10000));
            EXPECT_EQ(ReadLine(session, socket.Fd()).substr(0, 4), "221 ");
            // The server closes after QUIT: a closed connection reads as 0, not as a failure.
            char byte;
            EXPECT_EQ(ReadSome(session, socket.Fd(), &byte, 1), 0);
            session.Shutdown();
        } else {
            EXPECT_EQ(session.GetErrorText(), c.failure);
            EXPECT_EQ(GetLastError(), TlsFailureError);
            EXPECT_FALSE(session.IsEstablished());
        }
    }
}

TEST_F(TlsSessionTest, RefusesAnAuthorityOutsideTheStore)
{
    TempDir dir;
    ScopedEnvironment emptyStore("SSL_CERT_FILE", dir.Write("none.pem", ""));
    ScopedEnvironment noDirectory("SSL_CERT_DIR", dir.Path());
    PythonSmtpServer server(ImplicitTls(false));
    ASSERT_TRUE(server.IsRunning()) << server.Error();
    LoopbackSocket socket(server.Port());
    CTlsSession session;
    EXPECT_FALSE(session.Handshake(static_cast<SocketHandle>(socket.Fd()), "localhost", 10000));
    EXPECT_EQ(session.GetErrorText(),
              "TLS handshake failed: certificate verify failed (unable to get local issuer certificate)");
}

TEST_F(TlsSessionTest, NamesTheFaultOfAPeerThatSpeaksNoTls)
{
    PythonSmtpServer server(SmtpServerOptions{});
    ASSERT_TRUE(server.IsRunning()) << server.Error();
    LoopbackSocket socket(server.Port());
    CTlsSession session;
    EXPECT_FALSE(session.Handshake(static_cast<SocketHandle>(socket.Fd()), "localhost", 10000));
    EXPECT_EQ(session.GetErrorText().rfind("TLS handshake failed: ", 0), 0u);
    EXPECT_GT(session.GetErrorText().size(), std::string("TLS handshake failed: ").size());
}

TEST_F(TlsSessionTest, SilentPeerEndsTheHandshakeWithTheTimeout)
{
    SilentListener listener;
    {
        LoopbackSocket socket(listener.Port());
        CTlsSession session;
        EXPECT_FALSE(session.Handshake(static_cast<SocketHandle>(socket.Fd()), "localhost", 200));
        EXPECT_EQ(session.GetErrorText(), "TLS handshake failed: timed out");
        EXPECT_EQ(GetLastError(), 10060u);
    }
}

TEST_F(TlsSessionTest, ASharedContextReadsTheStoreOnceAndResumesSessions)
{
    PythonSmtpServer first(ImplicitTls(false));
    PythonSmtpServer second(ImplicitTls(false));
    ASSERT_TRUE(first.IsRunning() && second.IsRunning()) << first.Error() << second.Error();
    const auto context = std::make_shared<CTlsContext>();
    ASSERT_TRUE(context->IsValid()) << context->GetErrorText();

    // The store was read when the context was made: emptying it now changes nothing for the run.
    TempDir dir;
    ScopedEnvironment emptyStore("SSL_CERT_FILE", dir.Write("none.pem", ""));
    const auto greetAndQuit = [&](std::uint16_t port) {
        LoopbackSocket socket(port);
        CTlsSession session;
        if (!session.Handshake(static_cast<SocketHandle>(socket.Fd()), "localhost", 10000, context))
            return session.GetErrorText();
        // The greeting also brings the tickets that TLS 1.3 sends after the handshake.
        const std::string greeting = ReadLine(session, socket.Fd());
        session.Write("QUIT\r\n", 6, 10000);
        ReadLine(session, socket.Fd());
        session.Shutdown();
        return greeting.substr(0, 4);
    };
    EXPECT_EQ(greetAndQuit(first.Port()), "220 ");
    EXPECT_EQ(context->ResumedCount(), 0);
    EXPECT_EQ(greetAndQuit(first.Port()), "220 ");
    EXPECT_EQ(context->ResumedCount(), 1);
    // Another server (port) is not offered the first one's session: a full, verified handshake.
    EXPECT_EQ(greetAndQuit(second.Port()), "220 ");
    EXPECT_EQ(context->ResumedCount(), 1);
    EXPECT_EQ(greetAndQuit(first.Port()), "220 ");
    EXPECT_EQ(context->ResumedCount(), 2);
}

// A private authority given as a hashed folder is found there when the handshake asks for it.
TEST_F(TlsSessionTest, TrustsAnAuthorityInTheFolderOfSslCertDir)
{
    TempDir folder;
    const std::string hash =
        CommandOutput("openssl x509 -hash -noout -in '" + s_Certificates->AuthorityFile() + "'");
    ASSERT_EQ(hash.size(), 9u) << hash; // eight hex digits and a line feed
    folder.Write(hash.substr(0, 8) + ".0", ReadFileBytes(s_Certificates->AuthorityFile()));
    ScopedEnvironment noFile("SSL_CERT_FILE", std::nullopt);
    ScopedEnvironment trust("SSL_CERT_DIR", folder.Path());

    PythonSmtpServer server(ImplicitTls(false));
    ASSERT_TRUE(server.IsRunning()) << server.Error();
    LoopbackSocket socket(server.Port());
    ASSERT_GE(socket.Fd(), 0);
    CTlsSession session;
    ASSERT_TRUE(session.Handshake(static_cast<SocketHandle>(socket.Fd()), "localhost", 10000))
        << session.GetErrorText();
    EXPECT_EQ(ReadLine(session, socket.Fd()).substr(0, 4), "220 ");
    session.Shutdown();
}
