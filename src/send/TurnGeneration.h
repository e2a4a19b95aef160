#pragma once

#include "setup/GameSetup.h"

#include <cstdint>
#include <string>
#include <vector>

namespace turnpost {

class IUserInterface;

/// How long a generation may run before it is stopped with everything it started: a big universe
/// takes minutes, a hung one would hold the game for ever.
inline constexpr int GenerationTimeout = 10 * 60 * 1000;

/// The file that lists a backup's files with their SHA-256, as sha256sum writes it; written last, so a
/// backup without it was cut short.
inline constexpr const char* BackupListName = "SHA256SUMS";

/// The files a generation reads or rewrites, beside the universe file and named as it is: the universe
/// file, NAME.hst, and NAME.m#, NAME.x#, NAME.h# for every player number.
std::vector<std::string> GameFilePaths(const std::string& universeFile);

/// The folder that keeps the game files as they were in year: backup/YEAR beside the universe file.
std::string BackupFolder(const std::string& universeFile, std::uint16_t year);

struct GameBackup
{
    bool Ok = false;
    std::string Error;
    /// A complete backup of the year was there already and was kept as it is.
    bool Kept = false;
    /// How many files the backup holds.
    int Files = 0;
    /// Game files left out, each with why ("galaxy.m3 is a symbolic link").
    std::vector<std::string> Skipped;
};

/// Copies the game files that are there into BackupFolder, each written whole and read back to check
/// its size and SHA-256, then BackupListName. Symbolic links and files that are not regular are left
/// out, never followed. A complete backup of the year already there is kept: it holds the files as
/// they were before the first try, which a failed generation may have changed since. One cut short is
/// made again; one whose files no longer match their list is refused.
GameBackup BackUpGameFiles(const std::string& universeFile, std::uint16_t year);

struct GenerationOutcome
{
    bool Ok = false;
    /// Why it stopped, in plain words; empty when it went through.
    std::string Error;
    /// What each step did, one line each, for the report.
    std::vector<std::string> Lines;
    std::uint16_t YearBefore = 0;
    std::uint16_t YearAfter = 0;
};

/// Generates the next turn with the setup's GenerateCommand: checks that the host file is there and
/// not in use, that the command may run (approved for this setup file, or approved now through ui),
/// backs up the game files, runs the command in the game folder (stopped after timeout milliseconds)
/// and checks that the host file has moved on to a later turn of the same game. Holds the run lock
/// meanwhile, so no send or collection of the setup overlaps it. Stops at the first step that fails.
GenerationOutcome GenerateTurn(GameDocument& document, IUserInterface& ui, int timeout = GenerationTimeout);

} // namespace turnpost
