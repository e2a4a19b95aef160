#include "platform/ErrorCode.h"
#include "platform/LastError.h"
#include "platform/TlsSession.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace turnpost {
namespace {

// One table serves every layer: the number an errno value becomes and the words it is told in.
TEST(ErrorCodeTest, OneNumberAndReasonPerErrno)
{
    struct Case
    {
        int Errno;
        std::uint32_t Number;
        const char* Reason;
    };
    const Case cases[] = {
        {ECONNREFUSED, 10061, "connection refused"},
        {ECONNRESET, 10054, "the server closed the connection"},
        {EPIPE, 10054, "the server closed the connection"},
        {ETIMEDOUT, 10060, "timed out"},
        {EHOSTUNREACH, 10065, "host unreachable"},
        {ENETUNREACH, 10051, "network unreachable"},
        {EINVAL, 10022, "unknown host or invalid server address"},
        {ENOMEM, 10055, "out of buffer space"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Errno);
        EXPECT_EQ(ErrorNumberFromErrno(c.Errno), c.Number);
        EXPECT_EQ(ErrorReason(c.Number), c.Reason);
    }
    EXPECT_EQ(ErrorReason(ErrorCode::UnexpectedReply), "unexpected reply from the server");
    EXPECT_EQ(ErrorReason(ErrorCode::BadCommand), "the server refused the command");
    EXPECT_EQ(ErrorNumberFromErrno(0), 0u);
}

TEST(ErrorCodeTest, UnknownErrnoKeepsItsNumberAndTheSystemsWords)
{
    // EIO has no Windows Sockets counterpart: it stays EIO under TLS and over plain TCP alike.
    EXPECT_EQ(ErrorNumberFromErrno(EIO), static_cast<std::uint32_t>(EIO));
    EXPECT_EQ(ErrorReason(static_cast<std::uint32_t>(EIO)), SystemErrorText(EIO));
    EXPECT_EQ(ErrorReason(10999u), "unknown error");
    EXPECT_EQ(TlsFailureError, ErrorNumber(ErrorCode::ConnectionAborted));
}

} // namespace
} // namespace turnpost
