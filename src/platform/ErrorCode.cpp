#include "platform/ErrorCode.h"

#include "platform/LastError.h"

#include <cerrno>

// Windows' C library has no errno value for these; their rows then only give the reason.
#ifndef ESOCKTNOSUPPORT
#define ESOCKTNOSUPPORT 0
#endif
#ifndef EPFNOSUPPORT
#define EPFNOSUPPORT 0
#endif
#ifndef ESHUTDOWN
#define ESHUTDOWN 0
#endif
#ifndef EHOSTDOWN
#define EHOSTDOWN 0
#endif

namespace turnpost {

namespace {

struct ErrorEntry
{
    int Errno; ///< 0 for a number that no errno value gives
    ErrorCode Code;
    const char* Reason;
};

// The one table: the first row of a code gives its reason.
constexpr ErrorEntry Errors[] = {
    {0, ErrorCode::None, "no error"},
    {0, ErrorCode::BadCommand, "the server refused the command"},
    {EINTR, ErrorCode::Interrupted, "interrupted"},
    {EBADF, ErrorCode::BadHandle, "invalid handle"},
    {EACCES, ErrorCode::AccessDenied, "permission denied"},
    {EFAULT, ErrorCode::BadAddress, "bad address"},
    {EINVAL, ErrorCode::InvalidArgument, "unknown host or invalid server address"},
    {EMFILE, ErrorCode::TooManyFiles, "too many open files"},
    {EAGAIN, ErrorCode::WouldBlock, "resource temporarily unavailable"},
    {EINPROGRESS, ErrorCode::InProgress, "operation in progress"},
    {EALREADY, ErrorCode::AlreadyInProgress, "operation already in progress"},
    {ENOTSOCK, ErrorCode::NotSocket, "not a socket"},
    {EDESTADDRREQ, ErrorCode::DestinationRequired, "destination address required"},
    {EMSGSIZE, ErrorCode::MessageTooLong, "message too long"},
    {EPROTOTYPE, ErrorCode::WrongProtocol, "wrong protocol type"},
    {ENOPROTOOPT, ErrorCode::BadProtocolOption, "bad protocol option"},
    // EPROTONOSUPPORT cannot arise for a TCP socket; the number serves the unexpected reply.
    {EPROTONOSUPPORT, ErrorCode::UnexpectedReply, "unexpected reply from the server"},
    {ESOCKTNOSUPPORT, ErrorCode::SocketTypeUnsupported, "socket type not supported"},
    {EOPNOTSUPP, ErrorCode::OperationUnsupported, "operation not supported"},
    {EPFNOSUPPORT, ErrorCode::ProtocolFamilyUnsupported, "protocol family not supported"},
    {EAFNOSUPPORT, ErrorCode::AddressFamilyUnsupported, "address family not supported"},
    {EADDRINUSE, ErrorCode::AddressInUse, "address already in use"},
    {EADDRNOTAVAIL, ErrorCode::AddressUnavailable, "address not available"},
    {ENETDOWN, ErrorCode::NetworkDown, "network is down"},
    {ENETUNREACH, ErrorCode::NetworkUnreachable, "network unreachable"},
    {ENETRESET, ErrorCode::NetworkReset, "network dropped the connection"},
    {ECONNABORTED, ErrorCode::ConnectionAborted, "connection aborted"},
    {ECONNRESET, ErrorCode::ConnectionClosed, "the server closed the connection"},
    {EPIPE, ErrorCode::ConnectionClosed, "the server closed the connection"}, // what Windows calls a reset
    {ENOBUFS, ErrorCode::NoBufferSpace, "out of buffer space"},
    {ENOMEM, ErrorCode::NoBufferSpace, "out of buffer space"},
    {EISCONN, ErrorCode::AlreadyConnected, "already connected"},
    {ENOTCONN, ErrorCode::NotConnected, "not connected"},
    {ESHUTDOWN, ErrorCode::ShutDown, "connection shut down"},
    {ETIMEDOUT, ErrorCode::TimedOut, "timed out"},
    {ECONNREFUSED, ErrorCode::ConnectionRefused, "connection refused"},
    {ELOOP, ErrorCode::SymbolicLinkLoop, "too many symbolic links"},
    {ENAMETOOLONG, ErrorCode::NameTooLong, "name too long"},
    {EHOSTDOWN, ErrorCode::HostDown, "host is down"},
    {EHOSTUNREACH, ErrorCode::HostUnreachable, "host unreachable"},
};

} // namespace

std::uint32_t ErrorNumberFromErrno(int errnum)
{
    if (errnum == 0)
        return 0;
    for (const ErrorEntry& entry : Errors)
        if (entry.Errno == errnum)
            return ErrorNumber(entry.Code);
    return static_cast<std::uint32_t>(errnum);
}

std::string ErrorReason(std::uint32_t number)
{
    for (const ErrorEntry& entry : Errors)
        if (ErrorNumber(entry.Code) == number)
            return entry.Reason;
    if (number < 10000)
        return SystemErrorText(static_cast<int>(number));
    return "unknown error";
}

void SetLastError(ErrorCode code)
{
    SetLastError(ErrorNumber(code));
}

} // namespace turnpost
