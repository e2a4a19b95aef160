#include "platform/Socket.h"

#include "platform/Clock.h"
#include "platform/ErrorCode.h"
#include "platform/LastError.h"
#include "platform/posix/Wait.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace turnpost {

namespace {

int PollFor(int fd, short events, int timeoutMs, short& revents)
{
    return WaitUntil(fd, events, TickCount(), timeoutMs < 0 ? 0u : static_cast<std::uint32_t>(timeoutMs),
                     &revents);
}

bool IsLoopbackSocketAddress(const sockaddr* address)
{
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    }
    if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr))
            return true;
        // An IPv4 loopback address reached over a dual-stack socket.
        return IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr) && v6->sin6_addr.s6_addr[12] == 127;
    }
    return false;
}

// Built by appending: GCC 12 warns falsely (-Wrestrict) about chained string concatenation at -O3.
std::string Bracketed(const char* tag, const char* address)
{
    std::string literal = "[";
    literal += tag;
    literal += address;
    literal += ']';
    return literal;
}

} // namespace

std::string LocalDomainName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    const std::string text(name);
    return IsValidDomainName(text) ? text : std::string();
}

CSocket::~CSocket()
{
    Close();
}

bool CSocket::ConnectOne(const void* address, unsigned addressLength, int family, int timeoutMs, int& error)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        error = errno;
        return false;
    }
    int result = ::connect(fd, static_cast<const sockaddr*>(address), addressLength);
    if (result != 0 && (errno == EINPROGRESS || errno == EINTR)) {
        short revents = 0;
        const int ready = PollFor(fd, POLLOUT, timeoutMs, revents);
        if (ready == 0) {
            error = ETIMEDOUT;
            ::close(fd);
            return false;
        }
        int soError = 0;
        socklen_t length = sizeof soError;
        if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) != 0)
            soError = errno;
        if (soError != 0) {
            error = soError;
            ::close(fd);
            return false;
        }
        result = 0;
    }
    if (result != 0) {
        error = errno;
        ::close(fd);
        return false;
    }
    // Every protocol element goes out as soon as it is complete; pieces of one message are merged
    // with MSG_MORE instead.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_Fd = fd;
    return true;
}

bool CSocket::Connect(const std::string& server, std::uint16_t defaultPort, int timeoutMs)
{
    Close();
    std::string host;
    std::uint16_t port = 0;
    if (!SplitServerAddress(server, defaultPort, host, port)) {
        SetLastError(ErrorCode::InvalidArgument);
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0 || list == nullptr) {
        SetLastError(ErrorCode::InvalidArgument);
        return false;
    }
    int error = ECONNREFUSED;
    for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
        if (ConnectOne(a->ai_addr, a->ai_addrlen, a->ai_family, timeoutMs, error)) {
            ::freeaddrinfo(list);
            return true;
        }
    }
    ::freeaddrinfo(list);
    SetLastError(ErrorNumberFromErrno(error));
    return false;
}

bool CSocket::Send(const void* data, std::size_t length, int timeoutMs, bool more)
{
    if (m_Fd < 0) {
        SetLastError(ErrorNumberFromErrno(ENOTSOCK));
        return false;
    }
    const char* bytes = static_cast<const char*>(data);
    const int flags = MSG_NOSIGNAL | (more ? MSG_MORE : 0);
    while (length > 0) {
        const ssize_t sent = ::send(m_Fd, bytes, length, flags);
        if (sent > 0) {
            bytes += sent;
            length -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            SetLastError(ErrorNumberFromErrno(errno));
            return false;
        }
        short revents = 0;
        const int ready = PollFor(m_Fd, POLLOUT, timeoutMs, revents);
        if (ready == 0) {
            SetLastError(ErrorCode::TimedOut);
            return false;
        }
        if (ready < 0) {
            SetLastError(ErrorNumberFromErrno(errno));
            return false;
        }
        // POLLERR or POLLHUP: the next send reports the cause.
    }
    return true;
}

CSocket::WaitResult CSocket::WaitReadable(int timeoutMs)
{
    if (m_Fd < 0) {
        SetLastError(ErrorNumberFromErrno(ENOTSOCK));
        return WaitResult::Failed;
    }
    short revents = 0;
    const int ready = PollFor(m_Fd, POLLIN, timeoutMs, revents);
    if (ready < 0) {
        SetLastError(ErrorNumberFromErrno(errno));
        return WaitResult::Failed;
    }
    // POLLHUP and POLLERR also count: the receive that follows tells what happened.
    return ready == 0 ? WaitResult::TimedOut : WaitResult::Readable;
}

long CSocket::Receive(void* buffer, std::size_t length)
{
    if (m_Fd < 0) {
        SetLastError(ErrorNumberFromErrno(ENOTSOCK));
        return -1;
    }
    for (;;) {
        const ssize_t n = ::recv(m_Fd, buffer, length, 0);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return WouldBlock;
        SetLastError(ErrorNumberFromErrno(errno));
        return -1;
    }
}

void CSocket::Close()
{
    if (m_Fd >= 0) {
        ::close(m_Fd);
        m_Fd = -1;
    }
}

bool CSocket::IsPeerLoopback() const
{
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (m_Fd < 0 || ::getpeername(m_Fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return false;
    return IsLoopbackSocketAddress(reinterpret_cast<const sockaddr*>(&peer));
}

bool IsLoopbackAddress(const std::string& address)
{
    sockaddr_storage parsed{};
    if (::inet_pton(AF_INET, address.c_str(), &reinterpret_cast<sockaddr_in*>(&parsed)->sin_addr) == 1)
        parsed.ss_family = AF_INET;
    else if (::inet_pton(AF_INET6, address.c_str(), &reinterpret_cast<sockaddr_in6*>(&parsed)->sin6_addr) ==
             1)
        parsed.ss_family = AF_INET6;
    else
        return false;
    return IsLoopbackSocketAddress(reinterpret_cast<const sockaddr*>(&parsed));
}

std::string CSocket::LocalAddressLiteral() const
{
    if (m_Fd < 0)
        return {};
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (::getsockname(m_Fd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return {};
    char text[INET6_ADDRSTRLEN] = {};
    if (local.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&local);
        if (::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text) == nullptr)
            return {};
        return Bracketed("", text);
    }
    if (local.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&local);
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
            in_addr v4{};
            std::memcpy(&v4, v6->sin6_addr.s6_addr + 12, sizeof v4);
            if (::inet_ntop(AF_INET, &v4, text, sizeof text) == nullptr)
                return {};
            return Bracketed("", text);
        }
        if (::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text) == nullptr)
            return {};
        return Bracketed("IPv6:", text); // RFC 5321 4.1.3
    }
    return {};
}

} // namespace turnpost
