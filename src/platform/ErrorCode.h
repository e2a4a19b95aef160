#pragma once

#include <cstdint>
#include <string>

namespace turnpost {

/// The error numbers every layer reports, in one numbering on every platform: Windows Sockets numbers
/// for network errors, and the program's own 22 for a command the server refused.
enum class ErrorCode : std::uint32_t
{
    None = 0,
    BadCommand = 22,
    Interrupted = 10004,
    BadHandle = 10009,
    AccessDenied = 10013,
    BadAddress = 10014,
    InvalidArgument = 10022, ///< also: a server name that cannot be resolved
    TooManyFiles = 10024,
    WouldBlock = 10035,
    InProgress = 10036,
    AlreadyInProgress = 10037,
    NotSocket = 10038,
    DestinationRequired = 10039,
    MessageTooLong = 10040,
    WrongProtocol = 10041,
    BadProtocolOption = 10042,
    UnexpectedReply = 10043, ///< a reply with another code than the one expected
    SocketTypeUnsupported = 10044,
    OperationUnsupported = 10045,
    ProtocolFamilyUnsupported = 10046,
    AddressFamilyUnsupported = 10047,
    AddressInUse = 10048,
    AddressUnavailable = 10049,
    NetworkDown = 10050,
    NetworkUnreachable = 10051,
    NetworkReset = 10052,
    ConnectionAborted = 10053, ///< also: the client gave up the connection because TLS failed
    ConnectionClosed = 10054,  ///< reset, broken pipe, or the server closed the connection
    NoBufferSpace = 10055,
    AlreadyConnected = 10056,
    NotConnected = 10057,
    ShutDown = 10058,
    TimedOut = 10060,
    ConnectionRefused = 10061,
    SymbolicLinkLoop = 10062,
    NameTooLong = 10063,
    HostDown = 10064,
    HostUnreachable = 10065,
};

constexpr std::uint32_t ErrorNumber(ErrorCode code)
{
    return static_cast<std::uint32_t>(code);
}

/// The number for an errno value (ECONNREFUSED gives 10061, ECONNRESET and EPIPE 10054, ...). A value
/// without a counterpart keeps its own number, below 10000, and ErrorReason gives the system's text.
std::uint32_t ErrorNumberFromErrno(int errnum);

/// A short English reason for an error number, such as "connection refused".
std::string ErrorReason(std::uint32_t number);
inline std::string ErrorReason(ErrorCode code)
{
    return ErrorReason(ErrorNumber(code));
}

/// Sets the thread's last-error number (see LastError.h) from the vocabulary.
void SetLastError(ErrorCode code);

} // namespace turnpost
