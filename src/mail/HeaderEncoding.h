#pragma once

#include <string>

namespace turnpost {

/// The longest header line written where the text allows a fold (RFC 5322 2.1.1).
constexpr std::size_t MaxHeaderLine = 78;

/// Header text with every control character gone: CR, LF and tab become a blank (a line break would
/// start a header of the sender's choosing), the other C0 controls and DEL are dropped.
std::string CleanHeaderText(const std::string& text);

/// One unstructured header field, "Name: value\r\n", the value cleaned and folded (RFC 5322 2.2.3)
/// before blanks so that no line passes MaxHeaderLine; text that is not ASCII, or a word too long to
/// fold, goes as RFC 2047 encoded words instead.
std::string UnstructuredField(const std::string& name, const std::string& value);

/// RFC 2047 encoded words (UTF-8, base64) of at most 75 characters, split between UTF-8 characters and
/// folded onto continuation lines.
std::string EncodedWords(const std::string& text);

/// "; key=value" for a MIME header parameter (RFC 2045): a token as it is, other ASCII quoted, anything
/// else in the extended form of RFC 2231. A parameter that would make its line longer than
/// MaxHeaderLine starts a new folded line and, if that is not enough, is cut into RFC 2231
/// continuations (key*0, key*1, ...). column is the length of the line so far; it is updated.
std::string HeaderParameter(const std::string& key, const std::string& value, std::size_t& column);

} // namespace turnpost
