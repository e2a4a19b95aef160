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

} // namespace turnpost
