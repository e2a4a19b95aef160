#pragma once

#include "setup/GameSetup.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace turnpost {

class IUserInterface;

/// Writes the setup to path: version 3, followed by the extension block when a field kept there is not
/// at its fresh value or the setup holds extension entries of a newer program. Shows the failure and
/// returns false; the old file is never damaged.
bool WriteSetupFile(const std::string& path, const GameSetup& setup, IUserInterface& ui);

/// "Could not open file for saving: nothing saved!" with the path and the reason.
std::string SaveRefusedMessage(const std::string& path, int error);

/// How a read ended. Command-line processing goes on after NotOpened but stops after Damaged.
enum class SetupReadStatus
{
    Loaded,
    NotOpened, ///< "Could not open file: " was shown
    Damaged,   ///< the file ends early, has a version no writer produces or a bad extension block; its
               ///< message was shown
};

/// Loads the file into the document, all or nothing: on success FilePath, the view (file path, rows,
/// state) and Modified follow; on any failure a message names the file and nothing changes.
SetupReadStatus ReadSetupFileStatus(const std::string& path, GameDocument& document, IUserInterface& ui);

/// ReadSetupFileStatus(...) == Loaded.
bool ReadSetupFile(const std::string& path, GameDocument& document, IUserInterface& ui);

/// The byte layout, for tools and tests: what WriteSetupFile writes.
std::string SerializeSetup(const GameSetup& setup);

/// The outcome of ParseSetup.
struct SetupParseResult
{
    enum Outcome
    {
        Loaded,
        PastEnd,      ///< a field reaches past the end of the bytes
        BadVersion,   ///< the leading text is followed by a version word of 1 or less
        BadExtension, ///< the extension block names a key twice or gives a known key a bad value
    };
    Outcome Status = Loaded;
    /// For BadExtension: what is wrong, as a sentence without its full stop.
    std::string Problem;
    /// 1 for a file without the leading text, else its version word (when it could be read).
    std::int32_t Version = 1;
};

/// Reads the bytes of a setup file over setup. Body fields that the file's version does not carry keep
/// their values; the extension's fields take what the file's extension block gives, else their fresh
/// values. setup changes only when the whole file was read.
SetupParseResult ParseSetup(std::string_view bytes, GameSetup& setup);

/// The version a file with these bytes has: 1 when they do not begin with the leading text, otherwise
/// the version word; 0 when they end before the version can be told.
int SetupVersionOf(std::string_view bytes);

} // namespace turnpost
