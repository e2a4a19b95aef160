#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace turnpost {

/// The longest piece of server text a report line carries before it is cut with "...".
constexpr std::size_t MaxPrintedReply = 300;

/// Text from outside (a server's reply, OpenSSL's reason) made safe to print on one line: NUL, ESC,
/// every other C0 control but tab, CR, LF and DEL become '?', and so do the C1 controls (as raw bytes
/// or in UTF-8), every byte that is not well-formed UTF-8, U+2028 and U+2029, and the bidi embeddings,
/// overrides and isolates (U+202A to U+202E, U+2066 to U+2069). Text longer than limit bytes is cut
/// (never inside a UTF-8 sequence) and ends with "...".
std::string PrintableText(std::string_view text, std::size_t limit = MaxPrintedReply);

/// A reply of one or more lines (joined by CR LF, RFC 5321 4.2.1) as one printable line: the code and
/// the first line's text, then each further line's text without its code, or without its enhanced
/// status code when that repeats the first line's (RFC 3463). "550-5.7.1 a\r\n550 5.7.1 b" gives
/// "550 5.7.1 a b".
std::string PrintableReply(std::string_view reply, std::size_t limit = MaxPrintedReply);

} // namespace turnpost
