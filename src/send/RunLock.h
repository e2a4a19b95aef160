#pragma once

#include "platform/FileLock.h"
#include "setup/GameSetup.h"

#include <string>

namespace turnpost {

/// The lock file beside the setup a save replaces (FILE.tpf.lock, symbolic links followed); empty for
/// an untitled setup.
std::string RunLockPath(const GameDocument& document);

/// Keeps a second send run of the same setup from starting while one goes: two at once would mail
/// every player twice. Held from a successful Take until the object goes.
class CRunLock
{
public:
    enum class Result
    {
        Locked,
        HeldElsewhere, ///< another run sends this setup
        Unguarded,     ///< nothing to lock (a setup never saved, or no lock could be had): run anyway
    };

    Result Take(const GameDocument& document);

private:
    CFileLock m_Lock;
};

} // namespace turnpost
