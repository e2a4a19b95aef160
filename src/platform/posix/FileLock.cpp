#include "platform/FileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace turnpost {

CFileLock::~CFileLock()
{
    if (m_Descriptor >= 0)
        ::close(m_Descriptor);
}

CFileLock::Result CFileLock::TryLock(const std::string& path, int* error, Open mode)
{
    if (m_Descriptor >= 0)
        return Result::Locked;
    // Read-only is enough for flock, so a file the user may only read can still be locked; no
    // blocking open, so a FIFO put in the file's place cannot hang the run.
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    int descriptor = -1;
    if (mode == Open::CreateIfMissing) {
        // A link in the lock file's place could point anywhere: it is refused, never followed.
        descriptor = ::open(path.c_str(), flags | O_CREAT | O_NOFOLLOW, 0644);
        struct stat st
        {
        };
        if (descriptor >= 0 && (::fstat(descriptor, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(descriptor);
            if (error)
                *error = EINVAL;
            return Result::Failed;
        }
    } else {
        descriptor = ::open(path.c_str(), flags);
    }
    if (descriptor < 0) {
        if (error)
            *error = errno;
        return Result::Failed;
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int cause = errno;
        ::close(descriptor);
        if (cause == EWOULDBLOCK)
            return Result::HeldElsewhere;
        if (error)
            *error = cause;
        return Result::Failed;
    }
    m_Descriptor = descriptor;
    return Result::Locked;
}

CFileLock::Result CFileLock::Lock(const std::string& path, int* error)
{
    if (m_Descriptor >= 0)
        return Result::Locked;
    const int descriptor =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
    if (descriptor < 0) {
        if (error)
            *error = errno;
        return Result::Failed;
    }
    int locked = 0;
    while ((locked = ::flock(descriptor, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        if (error)
            *error = errno;
        ::close(descriptor);
        return Result::Failed;
    }
    m_Descriptor = descriptor;
    return Result::Locked;
}

} // namespace turnpost
