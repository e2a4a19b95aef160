#pragma once

#include <optional>
#include <string>

namespace turnpost::test {

/// Sets an environment variable (or removes it, for nullopt) until the end of the scope.
class ScopedEnvironment
{
public:
    ScopedEnvironment(std::string name, const std::optional<std::string>& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string m_Name;
    std::optional<std::string> m_Previous;
};

} // namespace turnpost::test
