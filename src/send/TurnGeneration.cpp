#include "send/TurnGeneration.h"

#include "game/GameFileHeader.h"
#include "game/OrderFiles.h"
#include "mail/ServerText.h"
#include "platform/Digest.h"
#include "platform/Files.h"
#include "platform/LastError.h"
#include "platform/ProcessRunner.h"
#include "platform/UserInterface.h"
#include "send/RunLock.h"
#include "send/SmtpPassword.h"
#include "setup/CommandApproval.h"

#include <cerrno>

namespace turnpost {

namespace {

/// The longest first line of the command's output that is kept for the report.
constexpr std::size_t MaxOutputLine = 4096;

const char* const BackupFolderName = "backup";

/// The universe file's path without its last two bytes, as the host file is named from it.
std::string GameStem(const std::string& universeFile)
{
    return universeFile.substr(0, universeFile.size() < 2 ? 0 : universeFile.size() - 2);
}

/// "backup/2442/": the backup as the host finds it beside his game files.
std::string ShownBackupFolder(std::uint16_t year)
{
    return std::string(BackupFolderName) + "/" + std::to_string(year) + "/";
}

std::string FilesText(int count)
{
    return std::to_string(count) + (count == 1 ? " game file" : " game files");
}

struct ListedFile
{
    std::string Digest;
    std::string Name;
};

/// The lines "DIGEST  NAME" of a backup list; false when one is not such a line or names a path
/// rather than a file of the folder.
bool ParseBackupList(const std::string& text, std::vector<ListedFile>& files)
{
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.size() < 67 || line.compare(64, 2, "  ") != 0)
            return false;
        ListedFile file{line.substr(0, 64), line.substr(66)};
        // A name with a folder (or, on Windows, a drive) in it would reach outside the backup.
        if (FileNameOf(file.Name) != file.Name || file.Name == "." || file.Name == "..")
            return false;
        files.push_back(std::move(file));
    }
    return !files.empty();
}

/// Checks a backup that was finished before: every file its list names is there with that digest.
GameBackup CheckFinishedBackup(const std::string& folder, const std::string& listText)
{
    GameBackup backup;
    const auto damaged = [&](const std::string& why) {
        backup.Error = "The backup in " + PrintableText(folder) + " is damaged (" + why +
                       "); move it away to make a new one";
        return backup;
    };
    std::vector<ListedFile> files;
    if (!ParseBackupList(listText, files))
        return damaged(std::string(BackupListName) + " is not a list of files and digests");
    for (const ListedFile& file : files) {
        std::string bytes;
        int error = 0;
        if (!ReadWholeFile(JoinPath(folder, file.Name), bytes, &error, Links::Refuse))
            return damaged(PrintableText(file.Name) + " cannot be read: " + FileErrorText(error));
        if (Sha256Hex(bytes) != file.Digest)
            return damaged(PrintableText(file.Name) + " differs from its digest");
    }
    backup.Ok = true;
    backup.Kept = true;
    backup.Files = static_cast<int>(files.size());
    return backup;
}

/// Why a command's end is a failure, or empty when it exited with status 0.
std::string CommandFailure(const CommandOutcome& outcome, int timeout)
{
    switch (outcome.How) {
    case CommandOutcome::End::NotRun:
        return "could not be started (" + SystemErrorText(outcome.Error) + ")";
    case CommandOutcome::End::TimedOut:
        if (timeout % 1000 == 0)
            return "did not finish within " + std::to_string(timeout / 1000) + " seconds and was stopped";
        return "did not finish within " + std::to_string(timeout) + " ms and was stopped";
    case CommandOutcome::End::Signalled:
        return "was killed by signal " + std::to_string(outcome.Status);
    case CommandOutcome::End::Exited:
        break;
    }
    if (outcome.Status != 0)
        return "failed (exit status " + std::to_string(outcome.Status) + ")";
    return {};
}

/// The generation command counts as the host's own while it is not the one the setup file held.
CommandSource GenerationSource(const GameDocument& document)
{
    if (document.FilePath == UntitledPath ||
        document.Setup.GenerateCommand != document.GenerateCommandFromFile)
        return CommandSource::Typed();
    return {document.FilePath};
}

} // namespace

std::vector<std::string> GameFilePaths(const std::string& universeFile)
{
    const std::string stem = GameStem(universeFile);
    std::vector<std::string> paths{universeFile, stem + "hst"};
    for (const char* kind : {"m", "x", "h"})
        for (int player = 1; player <= MaxPlayers; ++player)
            paths.push_back(stem + kind + std::to_string(player));
    return paths;
}

std::string BackupFolder(const std::string& universeFile, std::uint16_t year)
{
    return JoinPath(JoinPath(FolderOf(universeFile), BackupFolderName), std::to_string(year));
}

GameBackup BackUpGameFiles(const std::string& universeFile, std::uint16_t year)
{
    GameBackup backup;
    const auto fail = [&](const std::string& error) {
        backup.Error = error;
        return backup;
    };
    const std::string folder = BackupFolder(universeFile, year);
    for (const std::string& path : {FolderOf(folder), folder}) {
        if (int error = 0; !MakeRealFolder(path, error))
            return fail("Could not make " + PrintableText(path) + ": " + FileErrorText(error));
    }
    const std::string listPath = JoinPath(folder, BackupListName);
    std::string listText;
    if (int error = 0; ReadWholeFile(listPath, listText, &error, Links::Refuse))
        return CheckFinishedBackup(folder, listText);
    else if (error != ENOENT)
        return fail("Could not read " + PrintableText(listPath) + ": " + FileErrorText(error));

    // No list: nothing is there yet, or an earlier backup was cut short before the generation could
    // run. Either way the game files are still as they were and are copied (again).
    std::string list;
    for (const std::string& path : GameFilePaths(universeFile)) {
        const std::string name = FileNameOf(path);
        std::string bytes;
        int error = 0;
        if (!ReadWholeFile(path, bytes, &error, Links::Refuse)) {
            if (error == ENOENT)
                continue;
            if (error == ELOOP || error == NotRegularFileError) {
                backup.Skipped.push_back(PrintableText(name) +
                                         (error == ELOOP ? " is a symbolic link" : " is not a regular file"));
                continue;
            }
            return fail("Could not read " + PrintableText(path) + ": " + FileErrorText(error));
        }
        const std::string copy = JoinPath(folder, name);
        // A link planted in the backup would send the copy elsewhere.
        if (IsSymbolicLink(copy))
            return fail("Could not back up " + PrintableText(name) + ": " + PrintableText(copy) +
                        " is a symbolic link");
        if (const WriteResult written = WriteFileAtomically(copy, bytes, SpecialTarget::Refuse, 0600);
            !written.Ok())
            return fail(PrintableText(WriteErrorMessage(written.Error, copy)));
        const std::string digest = Sha256Hex(bytes);
        std::string back;
        if (!ReadWholeFile(copy, back, &error, Links::Refuse) || back.size() != bytes.size() ||
            Sha256Hex(back) != digest)
            return fail("The copy " + PrintableText(copy) + " does not match " + PrintableText(path));
        list += digest + "  " + name + "\n";
        ++backup.Files;
    }
    if (const WriteResult written = WriteFileAtomically(listPath, list, SpecialTarget::Refuse, 0600);
        !written.Ok())
        return fail(PrintableText(WriteErrorMessage(written.Error, listPath)));
    backup.Ok = true;
    return backup;
}

GenerationOutcome GenerateTurn(GameDocument& document, IUserInterface& ui, int timeout)
{
    GenerationOutcome outcome;
    const auto fail = [&](const std::string& error) {
        outcome.Error = error;
        return outcome;
    };
    const GameSetup& setup = document.Setup;
    if (setup.GenerateCommand.empty())
        return fail("No generation command in the setup");
    if (setup.UniverseFile.empty())
        return fail("No universe file in the setup");

    // A send or a collection that overlapped would mail or take files of a turn being rewritten.
    CRunLock runLock;
    if (runLock.Take(document) == CRunLock::Result::HeldElsewhere)
        return fail(PrintableText(document.FilePath) + " is being sent or collected by another run");
    const HostFileState before = ReadHostFileState(setup.UniverseFile);
    if (!before.Ok)
        return fail("Turn not generated: " + PrintableText(before.Error));
    outcome.YearBefore = before.Header.Year();

    // Asked before the backup: a command that may not run leaves the game folder as it was.
    std::string error;
    if (!MayRunCommand("Generation command", setup.GenerateCommand, GenerationSource(document),
                       GenerationDestination(), ui, error))
        return fail(error);

    const GameBackup backup = BackUpGameFiles(setup.UniverseFile, outcome.YearBefore);
    for (const std::string& skipped : backup.Skipped)
        outcome.Lines.push_back("Not backed up: " + skipped);
    if (!backup.Ok)
        return fail(backup.Error);
    const std::string shownFolder = ShownBackupFolder(outcome.YearBefore);
    outcome.Lines.push_back(backup.Kept ? "Kept the backup made before the first try: " +
                                              FilesText(backup.Files) + " in " + shownFolder
                                        : "Backed up " + FilesText(backup.Files) + " to " + shownFolder);

    const CommandOutcome run =
        RunForFirstLine(setup.GenerateCommand, timeout, MaxOutputLine, FolderOf(setup.UniverseFile));
    // Its output comes from whatever the command runs: it must not steer the terminal.
    const std::string output = run.FirstLine.empty() ? std::string() : ": " + PrintableText(run.FirstLine);
    if (const std::string failure = CommandFailure(run, timeout); !failure.empty())
        return fail("The generation command " + failure + output + "; the game files before it are in " +
                    shownFolder);
    outcome.Lines.push_back("Ran the generation command (exit status 0)" + output);

    const HostFileState after = ReadHostFileState(setup.UniverseFile);
    if (!after.Ok)
        return fail("After the generation " + PrintableText(after.Error));
    outcome.YearAfter = after.Header.Year();
    if (after.Header.GameId != before.Header.GameId)
        return fail("After the generation " + PrintableText(after.Path) + " belongs to another game");
    if (after.Header.Turn <= before.Header.Turn)
        return fail("The host file is still at " + std::to_string(outcome.YearAfter) +
                    ": the generation did not move the turn on");
    outcome.Lines.push_back("The host file is now at " + std::to_string(outcome.YearAfter));
    outcome.Ok = true;
    return outcome;
}

} // namespace turnpost
