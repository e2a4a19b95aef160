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
