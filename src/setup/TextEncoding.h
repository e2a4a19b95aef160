#pragma once

#include <string>
#include <string_view>

namespace turnpost {

/// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

/// Text from a setup file's narrow string: kept when it is UTF-8, otherwise taken as Windows-1252 (the
/// code page that files written on Windows most likely carry) and turned into UTF-8.
std::string NarrowToUtf8(std::string_view text);

/// UTF-16LE bytes (an even count) to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);

/// The text as UTF-16LE bytes. Text that is not UTF-8 is taken as Windows-1252 first, as the reader does.
std::string Utf8ToUtf16Le(std::string_view text);

} // namespace turnpost
