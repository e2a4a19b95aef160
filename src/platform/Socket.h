#pragma once

#include "platform/SocketHandle.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace turnpost {

/// Splits "host", "host:port" or "[v6 address]:port" (a bare IPv6 address counts as a host).
/// False when the host is empty, a bracket is unbalanced or the port is not 1..65535.
bool SplitServerAddress(const std::string& server, std::uint16_t defaultPort, std::string& host,
                        std::uint16_t& port);

/// True for a fully qualified domain name: dot-separated labels of letters, digits and inner hyphens.
bool IsValidDomainName(const std::string& name);

/// A TCP client socket. Every operation is bounded by a time-out (a wait on a non-blocking socket),
/// never raises SIGPIPE, and reports failures through SetLastError in the numbering of ErrorCode.h.
class CSocket
{
public:
    /// What Receive returns when nothing was ready after all (a spurious wake-up).
    static constexpr long WouldBlock = -2;

    enum class WaitResult
    {
        Readable,
        TimedOut,
        Failed
    };

    CSocket() = default;
    ~CSocket();
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;

    /// Resolves the server (10022 when the name cannot be resolved) and tries each address in turn,
    /// each within timeoutMs; the error of the last attempt is kept when none connects.
    bool Connect(const std::string& server, std::uint16_t defaultPort, int timeoutMs);

    /// Sends every byte. The time-out counts from the last progress; running out gives 10060.
    /// more asks the kernel to hold a short piece back until the rest of the data follows, where the
    /// system can.
    bool Send(const void* data, std::size_t length, int timeoutMs, bool more = false);

    /// Waits until bytes (or the end of the stream) can be read, at most timeoutMs.
    WaitResult WaitReadable(int timeoutMs);

    /// One recv: bytes received, 0 when the peer has closed, -1 on error (last error set) or WouldBlock.
    long Receive(void* buffer, std::size_t length);

    void Close();
    bool IsOpen() const { return m_Fd >= 0; }
    SocketHandle Handle() const { return static_cast<SocketHandle>(m_Fd); }

    /// True when the peer is this machine (127.0.0.0/8 or ::1), where a connection never leaves it.
    bool IsPeerLoopback() const;
    /// The local end as an RFC 5321 address literal: "[127.0.0.1]" or "[IPv6:::1]"; empty when unknown.
    std::string LocalAddressLiteral() const;

private:
    bool ConnectOne(const void* address, unsigned addressLength, int family, int timeoutMs, int& error);

    std::intptr_t m_Fd = -1; // a descriptor, or a SOCKET on Windows
};

/// True for a numeric address of this machine's loopback interface: 127.0.0.0/8, ::1, or an IPv4
/// loopback address mapped into IPv6. False for anything else, names included.
bool IsLoopbackAddress(const std::string& address);

/// The name for HELO: the local host name when it is a valid domain name, else empty.
std::string LocalDomainName();

} // namespace turnpost
