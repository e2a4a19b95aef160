#include "platform/Files.h"

#include "platform/UserFolders.h"
#include "platform/posix/Descriptor.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace turnpost {

namespace {

struct FileDescriptor
{
    int fd = -1;
    explicit FileDescriptor(int f) : fd(f) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    return folder + "/" + name;
}

std::string FileNameOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : m_Handle(other.m_Handle), m_Size(other.m_Size), m_Error(other.m_Error)
{
    other.m_Handle = -1;
}

ReadableFile::~ReadableFile()
{
    if (m_Handle >= 0)
        ::close(m_Handle);
}

long ReadableFile::Read(void* buffer, std::size_t size)
{
    const long n = ReadOnce(m_Handle, buffer, size);
    if (n < 0)
        m_Error = errno;
    return n;
}

ReadableFile OpenRegularFile(const std::string& path, Links links)
{
    ReadableFile file;
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; it is dropped again once the file
    // is known to be regular, where it means nothing anyway.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY |
                                            (links == Links::Refuse ? O_NOFOLLOW : 0));
    if (fd < 0) {
        file.m_Error = errno;
        return file;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        file.m_Error = errno;
        ::close(fd);
        return file;
    }
    if (!S_ISREG(st.st_mode)) {
        file.m_Error = NotRegularFileError;
        ::close(fd);
        return file;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        file.m_Error = errno;
        ::close(fd);
        return file;
    }
    file.m_Handle = fd;
    file.m_Size = static_cast<std::uint64_t>(st.st_size);
    return file;
}

std::optional<std::uint64_t> FileSize(const std::string& path)
{
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool FileExists(const std::string& path)
{
    struct stat st
    {
    };
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

namespace {

// Writes into the existing file itself. Nothing is atomic here: a failure part way leaves the target
// partly written, which is why this serves only targets that cannot be replaced by a rename.
WriteResult WriteInPlace(const std::string& path, std::string_view data, int flags)
{
    // O_NONBLOCK: a FIFO that nobody reads is refused (ENXIO) instead of holding the run for ever.
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | flags));
    if (file.fd < 0)
        return {WriteResult::OpenFailed, errno};
    const int fileFlags = ::fcntl(file.fd, F_GETFL);
    struct stat st
    {
    };
    int error = 0;
    if (fileFlags < 0 || ::fcntl(file.fd, F_SETFL, fileFlags & ~O_NONBLOCK) != 0 ||
        ::fstat(file.fd, &st) != 0)
        return {WriteResult::OpenFailed, errno};
    if (!WriteAll(file.fd, data, error))
        return {WriteResult::WriteFailed, error};
    // Only a file on disk can be synced; a pipe or a terminal has nothing to flush.
    if (S_ISREG(st.st_mode) && ::fsync(file.fd) != 0)
        return {WriteResult::WriteFailed, errno};
    const int fd = file.fd;
    file.fd = -1;
    if (::close(fd) != 0)
        return {WriteResult::WriteFailed, errno};
    return {};
}

// The names of streams the system hands out per process (/dev/stdout, /dev/fd/N, /proc/self/fd/N): they
// stand for an open file and are written as a stream, never replaced.
bool IsStreamName(const std::string& path)
{
    return path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0;
}

bool MayWrite(const std::string& path)
{
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

} // namespace

WriteResult WriteFileAtomically(const std::string& requestedPath, std::string_view data,
                                SpecialTarget special, unsigned newFileMode)
{
    if (requestedPath.empty())
        return {WriteResult::OpenFailed, ENOENT};
    struct stat old
    {
    };
    const bool exists = ::stat(requestedPath.c_str(), &old) == 0;
    if (!exists && errno != ENOENT)
        return {WriteResult::OpenFailed, errno}; // a link loop (ELOOP) among others
    if (exists && S_ISDIR(old.st_mode))
        return {WriteResult::OpenFailed, EISDIR};
    if (exists && (!S_ISREG(old.st_mode) || IsStreamName(requestedPath))) {
        if (special == SpecialTarget::Refuse)
            return {WriteResult::OpenFailed, NotRegularFileError};
        return WriteInPlace(requestedPath, data, S_ISREG(old.st_mode) ? O_APPEND : 0);
    }

    // Saving through a symbolic link writes the file it points to; renaming over the link itself would
    // turn it into a plain file and leave the real one behind.
    std::string path = requestedPath;
    int error = 0;
    if (!FollowLinks(path, error))
        return {WriteResult::OpenFailed, error};
    // The system decides who may write, root included: a file the user could not open for writing is
    // not his to replace either.
    if (exists && !MayWrite(path))
        return {WriteResult::OpenFailed, errno};
    const std::string folder = FolderOf(path);
    if (exists && ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return WriteInPlace(path, data, O_TRUNC); // no temporary file can be made beside it

    std::string temp = folder + "/.turnpost-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return {WriteResult::OpenFailed, errno};
    FileDescriptor file(fd);

    mode_t mode;
    if (exists) {
        // The replacement keeps the owner and group of the file it replaces where the system allows
        // (an ordinary user may give it one of his own groups, only root another owner); the mode
        // follows, as a change of owner clears the set-id bits.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0)
            (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = static_cast<mode_t>(newFileMode) & 07777 & ~mask;
    }

    if (::fchmod(fd, mode) != 0 || !WriteAll(fd, data, error) || ::fsync(fd) != 0) {
        if (error == 0)
            error = errno;
        ::unlink(temp.c_str());
        return {WriteResult::WriteFailed, error};
    }
    if (::close(fd) != 0) {
        file.fd = -1;
        error = errno;
        ::unlink(temp.c_str());
        return {WriteResult::WriteFailed, error};
    }
    file.fd = -1;
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = errno;
        ::unlink(temp.c_str());
        // Another user's file in a shared folder with the sticky bit (as /tmp) cannot be renamed over,
        // yet he let us write it: write it in place.
        if (exists && error == EPERM)
            return WriteInPlace(path, data, O_TRUNC);
        // A target we may not replace was never opened for writing.
        return {error == EACCES || error == EPERM || error == EISDIR || error == EROFS
                    ? WriteResult::OpenFailed
                    : WriteResult::WriteFailed,
                error};
    }
    return {};
}

std::string WhyNotPrivate(const std::string& path, PrivateKind kind, bool* missing)
{
    if (missing)
        *missing = false;
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            if (missing)
                *missing = true;
            return {};
        }
        return "cannot be examined (" + FileErrorText(errno) + ")";
    }
    // A link could be turned to somewhere else by whoever may write the folder it points into.
    if (S_ISLNK(st.st_mode))
        return "is a symbolic link";
    if (kind == PrivateKind::Folder && !S_ISDIR(st.st_mode))
        return "is not a folder";
    if (kind == PrivateKind::File && !S_ISREG(st.st_mode))
        return "is not a regular file";
    if (st.st_uid != ::geteuid())
        return "is owned by user " + std::to_string(st.st_uid);
    if (st.st_mode & S_IWGRP)
        return "is writable by its group";
    if (st.st_mode & S_IWOTH)
        return "is writable by others";
    return {};
}

bool MakePrivateFolder(const std::string& path, int& error)
{
    if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST)
        return true;
    error = errno;
    return false;
}

bool MakeRealFolder(const std::string& path, int& error)
{
    if (::mkdir(path.c_str(), 0700) == 0)
        return true;
    if (errno != EEXIST) {
        error = errno;
        return false;
    }
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0) {
        error = errno;
        return false;
    }
    if (S_ISDIR(st.st_mode))
        return true;
    error = S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR;
    return false;
}

bool IsSymbolicLink(const std::string& path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

} // namespace turnpost
