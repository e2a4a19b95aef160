#include "platform/openssl/OpenSslError.h"

#include <openssl/err.h>

namespace turnpost {

std::string TakeOpenSslError(OpenSslText form)
{
    std::string text;
    while (const unsigned long code = ERR_get_error()) {
        if (!text.empty())
            continue;
        if (const char* reason = ERR_reason_error_string(code); reason && form == OpenSslText::Reason) {
            text = reason;
        } else {
            char buffer[256];
            ERR_error_string_n(code, buffer, sizeof buffer);
            text = buffer;
        }
    }
    return text;
}

} // namespace turnpost
