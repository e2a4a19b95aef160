#include "support/ScopedEnvironment.h"

#include <cstdlib>
#include <utility>

namespace turnpost::test {

ScopedEnvironment::ScopedEnvironment(std::string name, const std::optional<std::string>& value)
    : m_Name(std::move(name))
{
    if (const char* previous = std::getenv(m_Name.c_str()))
        m_Previous = previous;
    if (value)
        ::setenv(m_Name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(m_Name.c_str());
}

ScopedEnvironment::~ScopedEnvironment()
{
    if (m_Previous)
        ::setenv(m_Name.c_str(), m_Previous->c_str(), 1);
    else
        ::unsetenv(m_Name.c_str());
}

} // namespace turnpost::test
