#include "platform/Network.h"

#include <winsock2.h>

namespace turnpost {

bool StartNetwork()
{
    // Windows Sockets must be started before any socket call; it stays started for the whole run.
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

} // namespace turnpost
