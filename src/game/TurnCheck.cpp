#include "game/TurnCheck.h"

#include "game/GameFileHeader.h"
#include "game/HostFile.h"
#include "platform/Files.h"

namespace turnpost {

namespace {

/// Why the file at path must not go to the player of slot index; empty when it may.
std::string TurnFileProblem(const std::string& path, int index, const GameFileHeader& host)
{
    const GameFileHeaderRead read = ReadGameFileHeader(path);
    if (read.Status == GameFileHeaderRead::Unreadable)
        return CouldNotOpenMessage(path, read.Error);
    const GameFileHeader& file = read.Header;
    if (read.Status == GameFileHeaderRead::NoHeader || !file.IsType(GameFileType::Turn))
        return "not a turn file: " + path;
    if (file.GameId != host.GameId)
        return path + " belongs to another game";
    if (file.Turn != host.Turn)
        return path + " is for " + std::to_string(file.Year()) + ", the host file is at " +
               std::to_string(host.Year());
    if (file.PlayerIndex != index)
        return path + " is player " + std::to_string(file.PlayerIndex + 1) + "'s turn file";
    return {};
}

std::string UniverseFileProblem(const std::string& path, const GameFileHeader& host)
{
    const GameFileHeaderRead read = ReadGameFileHeader(path);
    if (read.Status == GameFileHeaderRead::Unreadable)
        return CouldNotOpenMessage(path, read.Error);
    if (read.Status == GameFileHeaderRead::NoHeader || !read.Header.IsType(GameFileType::Universe))
        return "not a universe file: " + path;
    if (read.Header.GameId != host.GameId)
        return path + " belongs to another game";
    return {};
}

bool AttachesGameFiles(const GameFilesToCheck& files)
{
    if (files.AttachesUniverse)
        return true;
    for (const GameFilesToCheck::Player& player : files.Players)
        if (player.Mailed && !player.TurnFile.empty())
            return true;
    return false;
}

} // namespace

std::string TurnCheck::RefusalLine(int index) const
{
    const std::string& refusal = Refusals[static_cast<std::size_t>(index)];
    if (refusal.empty())
        return {};
    return "[Player " + std::to_string(index + 1) + "] ** ERROR: " + refusal + "\n";
}

TurnCheck CheckTurnFiles(const GameFilesToCheck& files)
{
    TurnCheck check;
    const std::string hostPath = HostFilePath(files.UniverseFile);
    const GameFileHeaderRead host = ReadGameFileHeader(hostPath);
    const char* const unchecked = "Turn files not checked: ";
    // A run that attaches no game file has nothing to check, and nothing to say about it.
    if (host.Status != GameFileHeaderRead::Read && !AttachesGameFiles(files))
        return check;
    if (host.Status == GameFileHeaderRead::Unreadable) {
        check.Note = unchecked + std::string("the host file ") + hostPath + " could not be opened";
        return check;
    }
    if (host.Status == GameFileHeaderRead::NoHeader) {
        check.Note = unchecked + hostPath + " has no game file header";
        return check;
    }
    if (!host.Header.IsType(GameFileType::Host)) {
        check.Note = unchecked + hostPath + " is not a host file";
        return check;
    }
    if (host.Header.InUse()) {
        check.MailNobody = true;
        check.Note =
            "Nobody mailed: the host file " + hostPath + " is in use; a turn generation may be running";
        for (std::size_t index = 0; index < files.Players.size(); ++index)
            if (files.Players[index].Mailed)
                check.Refusals[index] =
                    "not mailed while the host file is in use (a turn generation may be running)";
        return check;
    }

    // The universe file goes to everybody: read it once.
    std::string universeProblem;
    if (files.AttachesUniverse)
        universeProblem = UniverseFileProblem(files.UniverseFile, host.Header);
    for (std::size_t index = 0; index < files.Players.size(); ++index) {
        const GameFilesToCheck::Player& player = files.Players[index];
        if (!player.Mailed)
            continue;
        std::string problem;
        if (!player.TurnFile.empty())
            problem = TurnFileProblem(player.TurnFile, static_cast<int>(index), host.Header);
        check.Refusals[index] = problem.empty() ? universeProblem : problem;
    }
    return check;
}

} // namespace turnpost
