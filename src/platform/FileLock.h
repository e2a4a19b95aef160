#pragma once

#include <string>

namespace turnpost {

/// An advisory lock on a file, held from a successful TryLock until the object goes. Other holders are
/// other open descriptions of the file: a second lock taken in the same process is refused as well.
/// The file's content is neither read nor changed.
class CFileLock
{
public:
    enum class Result
    {
        Locked,
        HeldElsewhere, ///< another holder has the file locked
        Failed,        ///< the file could not be opened or the system has no lock for it; see error
    };

    CFileLock() = default;
    ~CFileLock();
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    enum class Open
    {
        Existing,       ///< the file must be there
        CreateIfMissing ///< a lock file of its own, made empty when it is missing; never a link
    };

    /// Takes the lock without waiting. error gets errno when the result is Failed.
    Result TryLock(const std::string& path, int* error = nullptr, Open mode = Open::Existing);

    /// Takes the lock on a lock file of this user's, made (mode 0600) when missing and never followed
    /// through a symbolic link, waiting while another holder has it: for a short read and rewrite.
    /// Locked or Failed (error gets errno).
    Result Lock(const std::string& path, int* error = nullptr);

private:
    int m_Descriptor = -1;
};

} // namespace turnpost
