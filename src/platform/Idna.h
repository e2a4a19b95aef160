#pragma once

#include <string>

namespace turnpost {

// Domain names that are not ASCII go on the wire in their IDNA form (RFC 5890 to 5893). One rule on
// every system: IDNA2008 with the nontransitional mapping, so that "ß", "ς", ZWJ and ZWNJ stay in the
// label ("straße" -> "xn--strae-oqa") where IDNA2003 would map them away ("strasse"), which names
// another domain; and the STD3 host-name rules (letters, digits and hyphens only).

/// The ASCII form of a domain written in UTF-8: each label that is not ASCII becomes its A-label.
/// False, with the reason in error, when a label cannot be converted.
bool DomainToAscii(const std::string& domain, std::string& ascii, std::string& error);

/// True when label (written "xn--...", in any case) is a valid A-label: it decodes to a label this
/// rule allows and that encodes back to the same A-label. False, with the reason in error, otherwise.
bool IsValidALabel(const std::string& label, std::string& error);

} // namespace turnpost
