#pragma once

#include <cstddef>
#include <string_view>

namespace turnpost {

/// Writes all of data to the descriptor, going on after short writes and interruptions. False when a
/// write fails; error then holds errno.
bool WriteAll(int fd, std::string_view data, int& error);

/// One read of at most size bytes, taken up again when a signal interrupts it: the count, 0 at the end,
/// -1 with errno on failure.
long ReadOnce(int fd, void* buffer, std::size_t size);

} // namespace turnpost
