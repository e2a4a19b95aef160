#include "platform/Files.h"

#include "platform/Kernel.h"

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

bool WriteAll(int fd, std::string_view data, int& error)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

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

bool ReadWholeFile(const std::string& path, std::string& contents, int* error)
{
    contents.clear();
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st
    {
    };
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0) {
        if (error)
            *error = errno;
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        if (error)
            *error = EISDIR;
        return false;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    std::string data;
    try {
        data.resize(size);
    } catch (const std::bad_alloc&) {
        if (error)
            *error = ENOMEM;
        return false;
    }
    std::uint64_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(file.fd, data.data() + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A file that shrank under us is as unreadable as one that failed.
            if (error)
                *error = n < 0 ? errno : EIO;
            return false;
        }
        done += static_cast<std::uint64_t>(n);
    }
    contents = std::move(data);
    return true;
}

std::optional<std::string> ReadFilePrefix(const std::string& path, std::size_t count)
{
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0)
        return std::nullopt;
    std::string data(count, '\0');
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(file.fd, data.data() + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    data.resize(done);
    return data;
}

WriteResult WriteFileAtomically(const std::string& requestedPath, std::string_view data)
{
    if (requestedPath.empty())
        return {WriteResult::OpenFailed, ENOENT};
    // Saving through a symbolic link writes the file it points to; renaming over the link itself would
    // turn it into a plain file and leave the real one behind.
    std::string path = requestedPath;
    struct stat link
    {
    };
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* target = ::realpath(path.c_str(), nullptr)) {
            path = target;
            std::free(target);
        }
    }
    std::string temp = FolderOf(path) + "/.turnpost-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return {WriteResult::OpenFailed, errno};
    FileDescriptor file(fd);

    // Keep the permissions of the file being replaced; a new file gets the usual umask-based ones.
    struct stat old
    {
    };
    mode_t mode;
    if (::stat(path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    int error = 0;
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
        // A target we may not replace was never opened for writing.
        return {error == EACCES || error == EPERM || error == EISDIR || error == EROFS
                    ? WriteResult::OpenFailed
                    : WriteResult::WriteFailed,
                error};
    }
    return {};
}

std::string WriteErrorMessage(int error, const std::string& path)
{
    if (error == ENOSPC || error == EDQUOT)
        return "Disk full while accessing " + path + ".";
    return SystemErrorText(error) + " while accessing " + path + ".";
}

} // namespace turnpost
