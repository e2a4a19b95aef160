#pragma once

#include <cstdint>

namespace turnpost::test {

/// A port of 127.0.0.1 that was free a moment ago, for a server the tests start as a program of its
/// own; 0 when none could be had.
std::uint16_t FreeLoopbackPort();

} // namespace turnpost::test
