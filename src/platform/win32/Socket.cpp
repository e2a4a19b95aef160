#include "platform/Socket.h"

#include "platform/Clock.h"
#include "platform/ErrorCode.h"
#include "platform/LastError.h"
#include "platform/win32/SocketWait.h"
#include "platform/win32/Wide.h"

#include <climits>
#include <cstring>
#include <winsock2.h>
#include <ws2tcpip.h>

namespace turnpost {

namespace {

// Windows Sockets' error numbers are the vocabulary's own.
void SetLastSocketError()
{
    SetLastError(static_cast<std::uint32_t>(::WSAGetLastError()));
}

SOCKET AsSocket(std::intptr_t fd)
{
    return static_cast<SOCKET>(fd);
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

CSocket::~CSocket()
{
    Close();
}

bool CSocket::ConnectOne(const void* address, unsigned addressLength, int family, int timeoutMs, int& error)
{
    const SOCKET socket =
        ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) {
        error = ::WSAGetLastError();
        return false;
    }
    u_long nonBlocking = 1;
    if (::ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) {
        error = ::WSAGetLastError();
        ::closesocket(socket);
        return false;
    }
    if (::connect(socket, static_cast<const sockaddr*>(address), static_cast<int>(addressLength)) != 0) {
        if (::WSAGetLastError() != WSAEWOULDBLOCK) {
            error = ::WSAGetLastError();
            ::closesocket(socket);
            return false;
        }
        const int ready = WaitSocket(socket, SocketEvent::Connected, TickCount(),
                                     timeoutMs < 0 ? 0u : static_cast<std::uint32_t>(timeoutMs));
        if (ready == 0) {
            error = WSAETIMEDOUT;
            ::closesocket(socket);
            return false;
        }
        int soError = 0;
        int length = sizeof soError;
        if (ready < 0 ||
            ::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length) != 0)
            soError = ::WSAGetLastError();
        if (soError != 0) {
            error = soError;
            ::closesocket(socket);
            return false;
        }
    }
    // Every protocol element goes out as soon as it is complete.
    const BOOL on = TRUE;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    m_Fd = static_cast<std::intptr_t>(socket);
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
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    ADDRINFOW* list = nullptr;
    const std::wstring service = std::to_wstring(port);
    if (::GetAddrInfoW(Widen(host).c_str(), service.c_str(), &hints, &list) != 0 || list == nullptr) {
        SetLastError(ErrorCode::InvalidArgument);
        return false;
    }
    int error = WSAECONNREFUSED;
    for (const ADDRINFOW* a = list; a != nullptr; a = a->ai_next) {
        if (ConnectOne(a->ai_addr, static_cast<unsigned>(a->ai_addrlen), a->ai_family, timeoutMs, error)) {
            ::FreeAddrInfoW(list);
            return true;
        }
    }
    ::FreeAddrInfoW(list);
    SetLastError(static_cast<std::uint32_t>(error));
    return false;
}

bool CSocket::Send(const void* data, std::size_t length, int timeoutMs, bool)
{
    // Windows has no way to hold a piece back for the next send; each goes out as it comes.
    if (m_Fd < 0) {
        SetLastError(ErrorCode::NotSocket);
        return false;
    }
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const int piece = length > INT_MAX ? INT_MAX : static_cast<int>(length);
        const int sent = ::send(AsSocket(m_Fd), bytes, piece, 0);
        if (sent > 0) {
            bytes += sent;
            length -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent == SOCKET_ERROR && ::WSAGetLastError() != WSAEWOULDBLOCK) {
            SetLastSocketError();
            return false;
        }
        const int ready = WaitSocket(AsSocket(m_Fd), SocketEvent::Writable, TickCount(),
                                     timeoutMs < 0 ? 0u : static_cast<std::uint32_t>(timeoutMs));
        if (ready == 0) {
            SetLastError(ErrorCode::TimedOut);
            return false;
        }
        if (ready < 0) {
            SetLastSocketError();
            return false;
        }
    }
    return true;
}

CSocket::WaitResult CSocket::WaitReadable(int timeoutMs)
{
    if (m_Fd < 0) {
        SetLastError(ErrorCode::NotSocket);
        return WaitResult::Failed;
    }
    const int ready = WaitSocket(AsSocket(m_Fd), SocketEvent::Readable, TickCount(),
                                 timeoutMs < 0 ? 0u : static_cast<std::uint32_t>(timeoutMs));
    if (ready < 0) {
        SetLastSocketError();
        return WaitResult::Failed;
    }
    // A closed or reset connection counts as readable: the receive that follows tells what happened.
    return ready == 0 ? WaitResult::TimedOut : WaitResult::Readable;
}

long CSocket::Receive(void* buffer, std::size_t length)
{
    if (m_Fd < 0) {
        SetLastError(ErrorCode::NotSocket);
        return -1;
    }
    const int piece = length > INT_MAX ? INT_MAX : static_cast<int>(length);
    const int n = ::recv(AsSocket(m_Fd), static_cast<char*>(buffer), piece, 0);
    if (n >= 0)
        return n;
    if (::WSAGetLastError() == WSAEWOULDBLOCK)
        return WouldBlock;
    SetLastSocketError();
    return -1;
}

void CSocket::Close()
{
    if (m_Fd >= 0) {
        ::closesocket(AsSocket(m_Fd));
        m_Fd = -1;
    }
}

bool CSocket::IsPeerLoopback() const
{
    sockaddr_storage peer{};
    int length = sizeof peer;
    if (m_Fd < 0 || ::getpeername(AsSocket(m_Fd), reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return false;
    return IsLoopbackSocketAddress(reinterpret_cast<const sockaddr*>(&peer));
}

std::string CSocket::LocalAddressLiteral() const
{
    if (m_Fd < 0)
        return {};
    sockaddr_storage local{};
    int length = sizeof local;
    if (::getsockname(AsSocket(m_Fd), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return {};
    char text[INET6_ADDRSTRLEN] = {};
    if (local.ss_family == AF_INET) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&local);
        if (::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text) == nullptr)
            return {};
        return Bracketed("", text);
    }
    if (local.ss_family == AF_INET6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&local);
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
            in_addr v4{};
            std::memcpy(&v4, v6->sin6_addr.s6_addr + 12, sizeof v4);
            if (::inet_ntop(AF_INET, &v4, text, sizeof text) == nullptr)
                return {};
            return Bracketed("", text);
        }
        if (::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text) == nullptr)
            return {};
        return Bracketed("IPv6:", text);
    }
    return {};
}

} // namespace turnpost
