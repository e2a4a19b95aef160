#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace turnpost {

/// Milliseconds from an arbitrary start; 32 bits, wrapping.
std::uint32_t TickCount();

/// Sleeps; zero or negative returns at once.
void SleepMilliseconds(int milliseconds);

/// The last-error number of this thread, in the numbering the reports use (Windows Sockets numbers
/// for network errors, the program's own 10022, 10043, 10060 and 22).
void SetLastError(std::uint32_t error);
std::uint32_t GetLastError();

std::time_t CurrentTime();

/// strftime of the local time in the POSIX locale (English names). A result that would not fit in
/// 127 characters, or a time that cannot be converted, gives an empty text.
std::string FormatLocalTime(const char* format, std::time_t when);
inline std::string FormatLocalTime(const char* format) { return FormatLocalTime(format, CurrentTime()); }

/// The same in UTC, for records that must read the same wherever they are read.
std::string FormatUtcTime(const char* format, std::time_t when);

/// The system's own text for an errno value, in English.
std::string SystemErrorText(int errnum);

} // namespace turnpost
