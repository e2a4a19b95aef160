// Feeds arbitrary bytes to the reading of a server's EHLO reply. Whatever comes out must be usable
// as it is: each mechanism once, upper-case, one word.
#include "mail/SmtpAuth.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace turnpost;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    const SmtpExtensions extensions = SmtpExtensions::Parse(reply);
    const auto& mechanisms = extensions.AuthMechanisms;
    for (std::size_t i = 0; i < mechanisms.size(); ++i) {
        const std::string& mechanism = mechanisms[i];
        if (mechanism.empty() || mechanism.find_first_of(" \t\r\n") != std::string::npos)
            std::abort();
        if (std::any_of(mechanism.begin(), mechanism.end(),
                        [](unsigned char c) { return std::toupper(c) != c; }))
            std::abort();
        if (std::find(mechanisms.begin() + static_cast<long>(i) + 1, mechanisms.end(), mechanism) !=
            mechanisms.end())
            std::abort();
        if (!extensions.OffersAuth(mechanism))
            std::abort();
    }
    return 0;
}
