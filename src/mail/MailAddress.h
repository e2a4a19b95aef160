#pragma once

#include <string>

namespace turnpost {

/// An address with an optional display name.
struct CMailAddress
{
    CMailAddress() = default;
    explicit CMailAddress(std::string emailAddress) : EmailAddress(std::move(emailAddress)) {}

    /// "name <address>" when there is a name, else the address alone.
    std::string Render() const;

    std::string FriendlyName;
    std::string EmailAddress;
};

} // namespace turnpost
