#pragma once

#include <string>

namespace turnpost {

enum class OpenSslText
{
    Reason, ///< the reason alone ("certificate verify failed"), where OpenSSL has words for it
    Line,   ///< OpenSSL's whole error line, with library and code
};

/// Empties OpenSSL's error queue of this thread and gives the text of its oldest entry, which is the
/// most specific; empty when the queue held nothing.
std::string TakeOpenSslError(OpenSslText form);

} // namespace turnpost
