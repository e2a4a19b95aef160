#pragma once

#include <cstdint>

namespace turnpost {

/// A connected socket as the system knows it, handed from the socket to the TLS layer without either
/// header naming the system's own type (a descriptor here, a SOCKET on Windows).
enum class SocketHandle : std::intptr_t
{
    Invalid = -1
};

} // namespace turnpost
