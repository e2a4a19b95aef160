#include "platform/AppendOnlyFile.h"

#include "platform/win32/Handle.h"
#include "platform/win32/Wide.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>

namespace turnpost {

namespace {

HANDLE HandleOf(int fd)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

} // namespace

CAppendOnlyFile::~CAppendOnlyFile()
{
    if (m_Fd >= 0)
        ::_close(m_Fd);
}

bool CAppendOnlyFile::Open(const std::string& path)
{
    // Append access without plain write access: the system puts every write at the end, whoever else
    // appends. Read access too, to look at the last byte.
    const HANDLE handle =
        OpenOwnFile(Widen(path), FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                    OPEN_ALWAYS, m_Error);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle, &size)) {
        m_Error = LastWindowsErrno();
        ::CloseHandle(handle);
        return false;
    }
    m_Fd = DescriptorOf(handle, _O_APPEND | _O_BINARY, m_Error);
    if (m_Fd < 0)
        return false;
    if (size.QuadPart > 0) {
        OVERLAPPED at{};
        const auto last = static_cast<std::uint64_t>(size.QuadPart - 1);
        at.Offset = static_cast<DWORD>(last);
        at.OffsetHigh = static_cast<DWORD>(last >> 32);
        char byte = 0;
        DWORD got = 0;
        if (::ReadFile(handle, &byte, 1, &got, &at) && got == 1 && byte != '\n')
            return Append("\n");
    }
    return true;
}

bool CAppendOnlyFile::Append(std::string_view data)
{
    if (m_Fd < 0) {
        m_Error = EBADF;
        return false;
    }
    return WriteAll(HandleOf(m_Fd), data, m_Error);
}

bool CAppendOnlyFile::Sync()
{
    if (m_Fd < 0) {
        m_Error = EBADF;
        return false;
    }
    if (!::FlushFileBuffers(HandleOf(m_Fd))) {
        m_Error = LastWindowsErrno();
        return false;
    }
    return true;
}

} // namespace turnpost
