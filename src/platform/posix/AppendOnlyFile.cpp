#include "platform/AppendOnlyFile.h"

#include "platform/Files.h"
#include "platform/posix/Descriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace turnpost {

CAppendOnlyFile::~CAppendOnlyFile()
{
    if (m_Fd >= 0)
        ::close(m_Fd);
}

bool CAppendOnlyFile::Open(const std::string& path)
{
    // Read access too, to look at the last byte. O_NONBLOCK keeps a FIFO put in its place from
    // hanging the run; such a thing is refused below.
    m_Fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (m_Fd < 0) {
        m_Error = errno;
        return false;
    }
    struct stat st
    {
    };
    const bool known = ::fstat(m_Fd, &st) == 0;
    if (!known || !S_ISREG(st.st_mode)) {
        m_Error = known ? EINVAL : errno;
        ::close(m_Fd);
        m_Fd = -1;
        return false;
    }
    ::fcntl(m_Fd, F_SETFL, O_APPEND);
    if (st.st_size > 0) {
        char last = 0;
        if (::pread(m_Fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
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
    return WriteAll(m_Fd, data, m_Error);
}

bool CAppendOnlyFile::Sync()
{
    if (m_Fd < 0 || ::fsync(m_Fd) != 0) {
        m_Error = m_Fd < 0 ? EBADF : errno;
        return false;
    }
    return true;
}

} // namespace turnpost
