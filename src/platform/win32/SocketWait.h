#pragma once

#include <cstdint>
#include <winsock2.h>

namespace turnpost {

enum class SocketEvent
{
    Readable,
    Writable,
    Connected ///< a connect that was under way has ended, in success or failure
};

/// Waits for the event on the socket until timeoutMs has passed since start (a TickCount), looking
/// at least once. Above 0 when it happened, 0 when the time ran out, -1 with WSAGetLastError on
/// failure.
int WaitSocket(SOCKET socket, SocketEvent event, std::uint32_t start, std::uint32_t timeoutMs);

} // namespace turnpost
