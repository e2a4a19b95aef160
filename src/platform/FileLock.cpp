#include "platform/FileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace turnpost {

CFileLock::~CFileLock()
{
    if (m_Descriptor >= 0)
        ::close(m_Descriptor);
}

CFileLock::Result CFileLock::TryLock(const std::string& path, int* error)
{
    if (m_Descriptor >= 0)
        return Result::Locked;
    // Read-only is enough for flock, so a setup the user may only read can still be guarded; no
    // blocking open, so a FIFO put in the file's place cannot hang the run.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
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
