#include "platform/win32/Handle.h"

#include "platform/win32/Wide.h"

#include <algorithm>
#include <cerrno>
#include <io.h>

namespace turnpost {

bool WriteAll(HANDLE handle, std::string_view data, int& error)
{
    while (!data.empty()) {
        // WriteFile counts in 32 bits.
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(handle, data.data(), chunk, &written, nullptr)) {
            error = LastWindowsErrno();
            return false;
        }
        if (written == 0) {
            error = EIO;
            return false;
        }
        data.remove_prefix(written);
    }
    return true;
}

HANDLE OpenOwnFile(const std::wstring& path, DWORD access, DWORD disposition, int& error)
{
    CHandle file(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                               nullptr));
    if (!file.IsValid()) {
        const DWORD cause = ::GetLastError();
        // A folder cannot be opened as a file; say so, as the other systems do.
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        const bool folder = attributes != INVALID_FILE_ATTRIBUTES &&
                            (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                            !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        error = cause == ERROR_ACCESS_DENIED && folder ? EISDIR : ErrnoFromWindowsError(cause);
        return INVALID_HANDLE_VALUE;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK) {
        error = EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    if (!::GetFileInformationByHandleEx(file.Get(), FileAttributeTagInfo, &tag, sizeof tag)) {
        error = LastWindowsErrno();
        return INVALID_HANDLE_VALUE;
    }
    if (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        error = tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT
                    ? ELOOP
                    : EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    if (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        error = EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    return file.Release();
}

int DescriptorOf(HANDLE handle, int flags, int& error)
{
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (fd < 0) {
        error = errno != 0 ? errno : EMFILE;
        ::CloseHandle(handle);
    }
    return fd;
}

} // namespace turnpost
