#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace turnpost;

// Only these addresses may receive a password over a connection without TLS.
TEST(IsLoopbackAddress, TakesOnlyThisMachine)
{
    const std::pair<const char*, bool> cases[] = {
        {"127.0.0.1", true},    {"127.1.2.3", true},
        {"::1", true},          {"::ffff:127.0.0.1", true},
        {"128.0.0.1", false},   {"10.0.0.1", false},
        {"0.0.0.0", false},     {"::", false},
        {"::2", false},         {"::ffff:10.0.0.1", false},
        {"::127.0.0.1", false}, {"fe80::1", false},
        {"localhost", false},   {"", false},
    };
    for (const auto& [text, loopback] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(IsLoopbackAddress(text), loopback);
    }
}

TEST(Socket, KnowsALoopbackPeer)
{
    for (const char* host : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(host);
        const bool v6 = std::string(host) == "::1";
        const int listener = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
        ASSERT_GE(listener, 0);
        sockaddr_storage address{};
        socklen_t length = 0;
        if (v6) {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
            in6->sin6_family = AF_INET6;
            in6->sin6_addr = in6addr_loopback;
            length = sizeof *in6;
        } else {
            auto* in4 = reinterpret_cast<sockaddr_in*>(&address);
            in4->sin_family = AF_INET;
            in4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof *in4;
        }
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0) {
            ::close(listener);
            continue; // a machine without IPv6 on its loopback interface
        }
        ASSERT_EQ(::listen(listener, 1), 0);
        ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
        const int port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                  : reinterpret_cast<sockaddr_in*>(&address)->sin_port);

        CSocket socket;
        EXPECT_FALSE(socket.IsPeerLoopback()) << "no peer yet";
        const std::string server = (v6 ? "[::1]:" : "127.0.0.1:") + std::to_string(port);
        ASSERT_TRUE(socket.Connect(server, 25, 5000));
        EXPECT_TRUE(socket.IsPeerLoopback());
        socket.Close();
        EXPECT_FALSE(socket.IsPeerLoopback());
        ::close(listener);
    }
}
