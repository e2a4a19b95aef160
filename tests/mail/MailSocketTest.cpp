#include "mail/MailSocket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace turnpost;

// Only these addresses may receive a password over a connection without TLS.
TEST(IsLoopbackAddress, TakesOnlyThisMachine)
{
    const std::pair<const char*, bool> cases[] = {
        {"127.0.0.1", true},  {"127.1.2.3", true},        {"::1", true},          {"::ffff:127.0.0.1", true},
        {"128.0.0.1", false}, {"10.0.0.1", false},        {"0.0.0.0", false},     {"::", false},
        {"::2", false},       {"::ffff:10.0.0.1", false}, {"::127.0.0.1", false}, {"fe80::1", false},
    };
    for (const auto& [text, loopback] : cases) {
        SCOPED_TRACE(text);
        sockaddr_storage address{};
        if (inet_pton(AF_INET, text, &reinterpret_cast<sockaddr_in*>(&address)->sin_addr) == 1) {
            address.ss_family = AF_INET;
        } else {
            ASSERT_EQ(inet_pton(AF_INET6, text, &reinterpret_cast<sockaddr_in6*>(&address)->sin6_addr), 1);
            address.ss_family = AF_INET6;
        }
        EXPECT_EQ(IsLoopbackAddress(reinterpret_cast<const sockaddr*>(&address)), loopback);
    }
    sockaddr_storage local{};
    local.ss_family = AF_UNIX;
    EXPECT_FALSE(IsLoopbackAddress(reinterpret_cast<const sockaddr*>(&local)));
}
