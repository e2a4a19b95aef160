#include "platform/Idna.h"

#include "platform/Text.h"

#include <idn2.h>

namespace turnpost {

bool DomainToAscii(const std::string& domain, std::string& ascii, std::string& error)
{
    // libidn2 drops some ASCII characters that no host name may hold instead of refusing them, which
    // would name another domain.
    for (const char c : domain) {
        if (static_cast<unsigned char>(c) < 0x80 && !(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z') &&
            !(c >= '0' && c <= '9') && c != '-' && c != '.') {
            error = "a domain name holds only letters, digits and hyphens";
            return false;
        }
    }
    char* converted = nullptr;
    const int result = idn2_to_ascii_8z(domain.c_str(), &converted,
                                        IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL | IDN2_USE_STD3_ASCII_RULES);
    if (result != IDN2_OK) {
        error = idn2_strerror(result);
        return false;
    }
    ascii = converted;
    idn2_free(converted);
    return true;
}

// RFC 5891 5.4: an A-label must decode to a U-label that IDNA2008 allows and that encodes back to
// the same A-label; anything else is no domain a server will deliver to.
bool IsValidALabel(const std::string& label, std::string& error)
{
    const std::string lower = AsciiLower(label);
    char* decoded = nullptr;
    int result = idn2_to_unicode_8z8z(lower.c_str(), &decoded, 0);
    if (result != IDN2_OK) {
        error = label + " is not a valid IDNA label (" + idn2_strerror(result) + ")";
        return false;
    }
    const std::string unicode(decoded);
    idn2_free(decoded);
    char* encoded = nullptr;
    result = idn2_to_ascii_8z(unicode.c_str(), &encoded, IDN2_NO_TR46 | IDN2_USE_STD3_ASCII_RULES);
    if (result != IDN2_OK) {
        error = label + " is not a valid IDNA label (" + idn2_strerror(result) + ")";
        return false;
    }
    const bool same = unicode.find('.') == std::string::npos && lower == encoded;
    idn2_free(encoded);
    if (!same)
        error = label + " is not a valid IDNA label";
    return same;
}

} // namespace turnpost
