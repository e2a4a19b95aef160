#pragma once

#include "setup/GameSetup.h"

#include <string>

namespace turnpost {

class IUserInterface;

/// "Turnpost - " followed by the path: the main window's caption.
std::string CaptionFor(const std::string& filePath);

/// Writes the setup to path (version 3, or version 4 when the mail submission fields are not at their
/// defaults). Shows the failure and returns false; the old file is never damaged.
bool WriteSetupFile(const std::string& path, const GameSetup& setup, IUserInterface& ui);

/// -1 when the file cannot be opened, 1 when it does not begin with the leading text, otherwise the
/// version word. Changes nothing.
int ReadSetupFileVersion(const std::string& path);

/// Loads the file into the document, all or nothing: on success FilePath, the caption, the rows and
/// Modified follow; on any failure a message names the file and nothing changes.
bool ReadSetupFile(const std::string& path, GameDocument& document, IUserInterface& ui);

/// The byte layout, for tools and tests: what WriteSetupFile writes.
std::string SerializeSetup(const GameSetup& setup);

} // namespace turnpost
