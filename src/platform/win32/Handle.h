#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <windows.h>

namespace turnpost {

/// A Windows handle closed with the object; INVALID_HANDLE_VALUE when there is none.
class CHandle
{
public:
    explicit CHandle(HANDLE handle = INVALID_HANDLE_VALUE) : m_Handle(handle) {}
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    ~CHandle()
    {
        if (IsValid())
            ::CloseHandle(m_Handle);
    }

    bool IsValid() const { return m_Handle != INVALID_HANDLE_VALUE && m_Handle != nullptr; }
    HANDLE Get() const { return m_Handle; }
    /// Closes the handle held and holds this one.
    void Reset(HANDLE handle)
    {
        if (IsValid())
            ::CloseHandle(m_Handle);
        m_Handle = handle;
    }
    /// Gives the handle up to the caller, who closes it.
    HANDLE Release()
    {
        const HANDLE handle = m_Handle;
        m_Handle = INVALID_HANDLE_VALUE;
        return handle;
    }

private:
    HANDLE m_Handle;
};

/// Writes all of data to the handle, going on after short writes. False when a write fails; error then
/// holds errno.
bool WriteAll(HANDLE handle, std::string_view data, int& error);

/// Opens or creates (as disposition says) a regular file of this user's own, never through a link:
/// a symbolic link or junction in its place gives ELOOP, a folder or a device EINVAL. Invalid with
/// errno in error when it cannot be had.
HANDLE OpenOwnFile(const std::wstring& path, DWORD access, DWORD disposition, int& error);

/// Makes a C library descriptor of handle, which then belongs to it (closed with _close); -1 with the
/// handle closed and errno in error when that fails.
int DescriptorOf(HANDLE handle, int flags, int& error);

} // namespace turnpost
