#pragma once

#include <cstdint>
#include <string>

namespace turnpost {

/// The last-error number of this thread, in the numbering the reports use (Windows Sockets numbers
/// for network errors, the program's own 10022, 10043, 10060 and 22).
void SetLastError(std::uint32_t error);
std::uint32_t GetLastError();

/// The system's own text for an errno value, in English.
std::string SystemErrorText(int errnum);

} // namespace turnpost
