#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace turnpost {

/// Size of the regular file at path, or nullopt when it cannot be had.
std::optional<std::uint64_t> FileSize(const std::string& path);
bool FileExists(const std::string& path);

/// Reads the whole file. False (and errno in error) when it cannot be opened or read whole.
bool ReadWholeFile(const std::string& path, std::string& contents, int* error = nullptr);

/// Reads at most count bytes from the start of the file; nullopt when it cannot be opened.
std::optional<std::string> ReadFilePrefix(const std::string& path, std::size_t count);

struct WriteResult
{
    enum Status { Written, OpenFailed, WriteFailed };
    Status status = Written;
    int error = 0; ///< errno of the failing call
    bool ok() const { return status == Written; }
};

/// Replaces the file at path with data, never leaving it half written: the data goes to a temporary
/// file in the same folder, is flushed to disk and renamed over the target. An existing target keeps
/// its permission bits. On failure the old file is untouched and the temporary file is gone.
WriteResult WriteFileAtomically(const std::string& path, std::string_view data);

/// The message for a write that failed after the file was opened: "Disk full while accessing PATH."
/// for a full disk, otherwise the system's own text for the cause, naming the file.
std::string WriteErrorMessage(int error, const std::string& path);

} // namespace turnpost
