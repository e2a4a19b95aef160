#include "support/ScopedEnvironment.h"

#include "platform/win32/Wide.h"

#include <cstdlib>
#include <utility>

namespace turnpost::test {

namespace {

// Tests point the settings folder at one of their own through the variable the program reads on
// Linux; here the program takes it from APPDATA.
std::string SystemName(const std::string& name)
{
    return name == "XDG_CONFIG_HOME" ? "APPDATA" : name;
}

// Through the wide environment, which the program reads: the narrow one cannot hold every path. An
// empty value removes the variable, as this system's C library unsets one.
void Set(const std::string& name, const std::optional<std::string>& value)
{
    ::_wputenv_s(Widen(name).c_str(), value ? Widen(*value).c_str() : L"");
}

} // namespace

ScopedEnvironment::ScopedEnvironment(std::string name, const std::optional<std::string>& value)
    : m_Name(SystemName(name))
{
    if (const wchar_t* previous = ::_wgetenv(Widen(m_Name).c_str()))
        m_Previous = Narrow(previous);
    Set(m_Name, value);
}

ScopedEnvironment::~ScopedEnvironment()
{
    Set(m_Name, m_Previous);
}

} // namespace turnpost::test
