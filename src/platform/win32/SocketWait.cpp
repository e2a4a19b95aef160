#include "platform/win32/SocketWait.h"

#include "platform/Clock.h"

namespace turnpost {

int WaitSocket(SOCKET socket, SocketEvent event, std::uint32_t start, std::uint32_t timeoutMs)
{
    // select rather than WSAPoll: WSAPoll does not report a connect that failed on every Windows
    // version, while select puts it among the exceptions.
    const std::uint32_t spent = TickCount() - start;
    const std::uint32_t left = spent >= timeoutMs ? 0 : timeoutMs - spent;
    fd_set readable;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    if (event == SocketEvent::Readable)
        FD_SET(socket, &readable);
    else
        FD_SET(socket, &writable);
    if (event == SocketEvent::Connected)
        FD_SET(socket, &failed);
    timeval wait{};
    wait.tv_sec = static_cast<long>(left / 1000);
    wait.tv_usec = static_cast<long>(left % 1000) * 1000;
    const int ready = ::select(0, &readable, &writable, &failed, &wait);
    if (ready == SOCKET_ERROR)
        return -1;
    return ready > 0 ? 1 : 0;
}

} // namespace turnpost
