#pragma once

#include <string>
#include <string_view>

namespace turnpost {

/// The SHA-256 of bytes, as 64 lower-case hex digits.
std::string Sha256Hex(std::string_view bytes);

} // namespace turnpost
