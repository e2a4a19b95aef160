#include "platform/Network.h"

#include <csignal>

namespace turnpost {

bool StartNetwork()
{
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

} // namespace turnpost
