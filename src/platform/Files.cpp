#include "platform/Files.h"

#include "platform/LastError.h"

#include <cerrno>
#include <new>

// Windows' C library has no quota error; a full disk is all it reports.
#ifndef EDQUOT
#define EDQUOT ENOSPC
#endif

namespace turnpost {

long ReadableFile::ReadFull(void* buffer, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const long n = Read(static_cast<char*>(buffer) + done, size - done);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long>(done);
}

std::string FileErrorText(int error)
{
    if (error == NotRegularFileError)
        return "not a regular file";
    return SystemErrorText(error);
}

std::string CouldNotOpenMessage(const std::string& path, int error)
{
    std::string message = "Could not open file: " + path;
    // A missing file needs no reason: the name says it all.
    if (error != ENOENT && error != 0)
        message += " (" + FileErrorText(error) + ")";
    return message;
}

bool ReadWholeFile(const std::string& path, std::string& contents, int* error, Links links)
{
    contents.clear();
    ReadableFile file = OpenRegularFile(path, links);
    if (!file) {
        if (error)
            *error = file.Error();
        return false;
    }
    const std::uint64_t size = file.Size();
    std::string data;
    try {
        data.resize(size);
    } catch (const std::bad_alloc&) {
        if (error)
            *error = ENOMEM;
        return false;
    }
    const long n = file.ReadFull(data.data(), data.size());
    if (n < 0 || static_cast<std::uint64_t>(n) < size) {
        // A file that shrank under us is as unreadable as one that failed.
        if (error)
            *error = n < 0 ? file.Error() : EIO;
        return false;
    }
    contents = std::move(data);
    return true;
}

std::optional<std::string> ReadFilePrefix(const std::string& path, std::size_t count, int* error)
{
    ReadableFile file = OpenRegularFile(path);
    if (!file) {
        if (error)
            *error = file.Error();
        return std::nullopt;
    }
    std::string data(count, '\0');
    const long n = file.ReadFull(data.data(), count);
    if (n < 0) {
        // A file that cannot be read is no shorter file: the caller must not take it for one.
        if (error)
            *error = file.Error();
        return std::nullopt;
    }
    data.resize(static_cast<std::size_t>(n));
    return data;
}

std::string WriteErrorMessage(int error, const std::string& path)
{
    if (error == ENOSPC || error == EDQUOT)
        return "Disk full while accessing " + path + ".";
    return FileErrorText(error) + " while accessing " + path + ".";
}

} // namespace turnpost
