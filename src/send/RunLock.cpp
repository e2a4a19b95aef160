#include "send/RunLock.h"

#include "platform/Files.h"
#include "platform/UserFolders.h"

namespace turnpost {

std::string RunLockPath(const GameDocument& document)
{
    if (document.FilePath.empty() || document.FilePath == UntitledPath)
        return {};
    return FollowLinks(document.FilePath) + ".lock";
}

CRunLock::Result CRunLock::Take(const GameDocument& document)
{
    // A setup never saved has no file another run could send.
    const std::string path = RunLockPath(document);
    if (path.empty())
        return Result::Unguarded;
    // Not the setup itself: a save renames a new file over it, and a run started after the save would
    // lock that one. The lock file is never removed, since a run may hold it at any moment. Where it
    // cannot be made (a folder the user may not write), no save can replace the setup either, and
    // the setup itself serves.
    CFileLock::Result result = m_Lock.TryLock(path, nullptr, CFileLock::Open::CreateIfMissing);
    if (result == CFileLock::Result::Failed)
        result = m_Lock.TryLock(FollowLinks(document.FilePath));
    switch (result) {
    case CFileLock::Result::Locked:
        return Result::Locked;
    case CFileLock::Result::HeldElsewhere:
        return Result::HeldElsewhere;
    case CFileLock::Result::Failed:
        break;
    }
    return Result::Unguarded;
}

} // namespace turnpost
