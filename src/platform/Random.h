#pragma once

#include <cstddef>

namespace turnpost {

/// Fills the buffer from the kernel's cryptographic random source (getrandom). False only when the
/// kernel cannot give the bytes.
bool RandomBytes(void* buffer, std::size_t size);

} // namespace turnpost
