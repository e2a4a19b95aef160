#include "platform/FileLock.h"

#include "platform/win32/Handle.h"
#include "platform/win32/Wide.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>

namespace turnpost {

namespace {

// Windows locks bytes, and a locked byte cannot be read through another handle: the lock sits on one
// byte far past any real end of file, so the file itself stays readable by everyone.
OVERLAPPED LockedByte()
{
    OVERLAPPED at{};
    at.Offset = 0xFFFFFFFEu;
    at.OffsetHigh = 0x7FFFFFFFu;
    return at;
}

// Takes the lock on the open handle; on success the handle is kept as a descriptor in held.
CFileLock::Result TakeLock(HANDLE handle, bool wait, int& held, int* error)
{
    OVERLAPPED at = LockedByte();
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    if (!::LockFileEx(handle, flags, 0, 1, 0, &at)) {
        const DWORD cause = ::GetLastError();
        ::CloseHandle(handle);
        if (cause == ERROR_LOCK_VIOLATION || cause == ERROR_IO_PENDING)
            return CFileLock::Result::HeldElsewhere;
        if (error)
            *error = ErrnoFromWindowsError(cause);
        return CFileLock::Result::Failed;
    }
    int cause = 0;
    held = DescriptorOf(handle, _O_RDONLY | _O_BINARY, cause);
    if (held < 0) {
        if (error)
            *error = cause;
        return CFileLock::Result::Failed;
    }
    return CFileLock::Result::Locked;
}

} // namespace

CFileLock::~CFileLock()
{
    if (m_Descriptor < 0)
        return;
    // Unlocked at once rather than whenever the system gets round to it after the close.
    OVERLAPPED at = LockedByte();
    ::UnlockFileEx(reinterpret_cast<HANDLE>(::_get_osfhandle(m_Descriptor)), 0, 1, 0, &at);
    ::_close(m_Descriptor);
}

CFileLock::Result CFileLock::TryLock(const std::string& path, int* error, Open mode)
{
    if (m_Descriptor >= 0)
        return Result::Locked;
    const std::wstring wide = Widen(path);
    HANDLE handle = INVALID_HANDLE_VALUE;
    int cause = 0;
    if (mode == Open::CreateIfMissing) {
        // A link in the lock file's place could point anywhere: it is refused, never followed.
        handle = OpenOwnFile(wide, GENERIC_READ, OPEN_ALWAYS, cause);
    } else {
        // Read access is enough for a lock, so a file the user may only read can still be locked.
        handle =
            ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            cause = LastWindowsErrno();
    }
    if (handle == INVALID_HANDLE_VALUE) {
        if (error)
            *error = cause;
        return Result::Failed;
    }
    return TakeLock(handle, false, m_Descriptor, error);
}

CFileLock::Result CFileLock::Lock(const std::string& path, int* error)
{
    if (m_Descriptor >= 0)
        return Result::Locked;
    int cause = 0;
    const HANDLE handle = OpenOwnFile(Widen(path), GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, cause);
    if (handle == INVALID_HANDLE_VALUE) {
        if (error)
            *error = cause;
        return Result::Failed;
    }
    return TakeLock(handle, true, m_Descriptor, error);
}

} // namespace turnpost
