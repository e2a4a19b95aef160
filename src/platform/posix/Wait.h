#pragma once

#include <cstdint>

namespace turnpost {

/// Waits for events (poll's POLLIN, POLLOUT) on the descriptor until timeoutMs has passed since start
/// (a TickCount), polling at least once, and takes the wait up again with the time that is left when
/// a signal interrupts it. poll's result: above 0 when ready (revents, when given, says how), 0 when
/// the time ran out, -1 with errno on failure.
int WaitUntil(int fd, short events, std::uint32_t start, std::uint32_t timeoutMs, short* revents = nullptr);

} // namespace turnpost
