#pragma once

#include <string_view>

namespace turnpost {

/// Writes all of data to the descriptor, going on after short writes and interruptions. False when a
/// write fails; error then holds errno.
bool WriteAll(int fd, std::string_view data, int& error);

} // namespace turnpost
