#pragma once

#include "platform/Socket.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace turnpost {

/// The byte stream under one SMTP connection. All of the connection's I/O passes through here, so
/// that a secured stream can take the place of the plain one without the dialogue noticing.
class CMailSocket
{
public:
    static constexpr long WouldBlock = CSocket::WouldBlock;
    using WaitResult = CSocket::WaitResult;

    /// Bounds connecting and every send (milliseconds since the last progress).
    void SetTimeout(int milliseconds) { m_Timeout = milliseconds; }
    int GetTimeout() const { return m_Timeout; }

    bool Connect(const std::string& server, std::uint16_t defaultPort);
    /// Sends the whole buffer; more lets the stream merge it with the pieces that follow.
    bool Send(const void* data, std::size_t length, bool more = false);
    bool Send(const std::string& text, bool more = false) { return Send(text.data(), text.size(), more); }
    WaitResult WaitReadable(int timeoutMs);
    /// Bytes received, 0 at the end of the stream, -1 on error (last error set) or WouldBlock.
    long Receive(void* buffer, std::size_t length);
    void Close();
    bool IsOpen() const { return m_Socket.IsOpen(); }

    /// The local end as an address literal, for HELO when the host has no usable name.
    std::string LocalAddressLiteral() const { return m_Socket.LocalAddressLiteral(); }

private:
    CSocket m_Socket;
    int m_Timeout = 2000;
};

} // namespace turnpost
