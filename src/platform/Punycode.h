#pragma once

#include <string>
#include <string_view>

namespace turnpost {

// The label encoding under IDNA's A-labels (RFC 3492), without the "xn--" prefix: for systems whose
// own conversion does not follow the rule this program uses.

/// The Punycode form of a label written in UTF-8. False when it is not UTF-8 or too long to encode.
bool PunycodeEncode(std::string_view label, std::string& encoded);

/// The UTF-8 label a Punycode string stands for. False when it is not well formed Punycode or names
/// a code point that is no character.
bool PunycodeDecode(std::string_view encoded, std::string& label);

} // namespace turnpost
