#pragma once

#include <string>
#include <string_view>

namespace turnpost {

// Paths and texts are UTF-8 everywhere inside the program; Windows' own calls take UTF-16.

/// The UTF-16 form of UTF-8 text; bytes that are not UTF-8 become U+FFFD.
std::wstring Widen(std::string_view text);

/// The UTF-8 form of UTF-16 text; a lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view text);

/// The errno value that says what a Windows error code says, as the C library would map it; EIO for
/// one without a counterpart.
int ErrnoFromWindowsError(unsigned long error);

/// The same for the calling thread's last Windows error.
int LastWindowsErrno();

} // namespace turnpost
