#pragma once

#include <string>

namespace turnpost::test {

/// What a shell command line printed on standard output (empty when it could not be started).
std::string CommandOutput(const std::string& command);

} // namespace turnpost::test
