#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace turnpost {

/// The error number of a file refused for reading because it is not a regular file (a FIFO, a device,
/// a socket or a folder); never an errno value.
inline constexpr int NotRegularFileError = -1;

enum class Links
{
    Follow,
    Refuse ///< a symbolic link at path is refused with ELOOP, even one that leads to a regular file
};

/// A file opened for reading by OpenRegularFile; closed with the object.
class ReadableFile
{
public:
    ReadableFile() = default;
    ReadableFile(ReadableFile&& other) noexcept;
    ReadableFile& operator=(ReadableFile&&) = delete;
    ~ReadableFile();

    explicit operator bool() const { return m_Handle >= 0; }
    /// The size when it was opened.
    std::uint64_t Size() const { return m_Size; }
    /// errno, or NotRegularFileError, when the file could not be opened or read.
    int Error() const { return m_Error; }

    /// One read of at most size bytes, taken up again when a signal interrupts it: the count, 0 at the
    /// end of the file, -1 on failure (see Error).
    long Read(void* buffer, std::size_t size);
    /// Reads until size bytes are there or the file ends: the count, -1 on failure (see Error).
    long ReadFull(void* buffer, std::size_t size);

private:
    friend ReadableFile OpenRegularFile(const std::string& path, Links links);

    int m_Handle = -1;
    std::uint64_t m_Size = 0;
    int m_Error = 0;
};

/// Opens path for reading only when it is a regular file. The open itself never waits: a FIFO without
/// a writer or a slow device would otherwise hold the caller for ever.
ReadableFile OpenRegularFile(const std::string& path, Links links = Links::Follow);

/// An error number of the file functions in words: "not a regular file", or the system's text.
std::string FileErrorText(int error);

/// "Could not open file: PATH", followed by the reason in brackets unless the file is simply missing.
std::string CouldNotOpenMessage(const std::string& path, int error);

/// The folder that holds path: "." for a bare name, "/" for an entry of the root.
std::string FolderOf(const std::string& path);

/// The last part of path, without its folder.
std::string FileNameOf(const std::string& path);

/// The path of name inside folder, with the system's separator between them.
std::string JoinPath(const std::string& folder, const std::string& name);

/// What a private path is expected to be.
enum class PrivateKind
{
    File,
    Folder,
};

/// Why the file or folder at path cannot be trusted to hold what only this user decides, as ssh judges
/// its keys: "is a symbolic link", "is not a folder", "is owned by user 1001", "is writable by its group",
/// "is writable by others". Empty when it is the user's own, and when nothing is there (missing is then
/// set, when given).
std::string WhyNotPrivate(const std::string& path, PrivateKind kind, bool* missing = nullptr);

/// Makes the folder for this user alone (mode 0700); an existing one is left as it is. False with errno
/// in error when it cannot be made.
bool MakePrivateFolder(const std::string& path, int& error);

/// Makes the folder for this user alone (mode 0700) unless a folder is there already, which is left as
/// it is. False with errno in error when it cannot be made or something else stands in its place:
/// ELOOP for a symbolic link (never followed, even to a folder), ENOTDIR for anything else.
bool MakeRealFolder(const std::string& path, int& error);

/// True when path itself is a symbolic link, wherever it leads.
bool IsSymbolicLink(const std::string& path);

/// Size of the regular file at path, or nullopt when it cannot be had.
std::optional<std::uint64_t> FileSize(const std::string& path);
bool FileExists(const std::string& path);

/// Reads the whole regular file. False when it cannot be opened or read whole; error then holds errno
/// or NotRegularFileError.
bool ReadWholeFile(const std::string& path, std::string& contents, int* error = nullptr,
                   Links links = Links::Follow);

/// Reads at most count bytes from the start of the regular file; nullopt when it cannot be opened or
/// read, with the error number (as OpenRegularFile's) in error when given.
std::optional<std::string> ReadFilePrefix(const std::string& path, std::size_t count, int* error = nullptr);

struct WriteResult
{
    enum Outcome
    {
        Written,
        OpenFailed,
        WriteFailed
    };
    Outcome Status = Written;
    int Error = 0; ///< errno of the failing call
    bool Ok() const { return Status == Written; }
};

/// What a save does with a target that exists but is no regular file (a device, a FIFO, a socket).
enum class SpecialTarget
{
    Refuse,       ///< a setup file: such a target is never replaced nor written
    WriteInPlace, ///< a report: written into, so that /dev/stdout or a log collector's FIFO works
};

/// Saves data at path without ever leaving it half written where the system makes that possible: the
/// data goes to a temporary file in the same folder, is flushed to disk and renamed over the target,
/// which keeps its owner, group and permission bits where the system allows. A symbolic link is
/// followed, a dangling one creates its target. A target the user may not write is refused
/// (OpenFailed, EACCES) and left alone. On failure the old file is untouched and no temporary is left.
/// A new file gets newFileMode less the umask.
WriteResult WriteFileAtomically(const std::string& path, std::string_view data,
                                SpecialTarget special = SpecialTarget::Refuse, unsigned newFileMode = 0666);

/// The message for a write that failed after the file was opened: "Disk full while accessing PATH."
/// for a full disk, otherwise the system's own text for the cause, naming the file.
std::string WriteErrorMessage(int error, const std::string& path);

} // namespace turnpost
