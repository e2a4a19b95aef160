#include "game/OrderFiles.h"

#include "game/HostFile.h"
#include "game/OrderCheck.h"
#include "platform/Files.h"

#include <cerrno>

namespace turnpost {

std::string OrderFilePath(const std::string& universeFile, int playerIndex)
{
    // The same stem the host file is found by: the universe file's name without its last two bytes.
    const std::size_t keep = universeFile.size() < 2 ? 0 : universeFile.size() - 2;
    return universeFile.substr(0, keep) + "x" + std::to_string(playerIndex + 1);
}

HostFileState ReadHostFileState(const std::string& universeFile)
{
    HostFileState state;
    state.Path = HostFilePath(universeFile);
    const GameFileHeaderRead read = ReadGameFileHeader(state.Path);
    if (read.Status == GameFileHeaderRead::Unreadable) {
        state.Error = state.Path + " cannot be read (" + FileErrorText(read.Error) + ")";
        return state;
    }
    if (read.Status == GameFileHeaderRead::NoHeader || !read.Header.IsType(GameFileType::Host)) {
        state.Error = state.Path + " is not a host file";
        return state;
    }
    state.Header = read.Header;
    if (read.Header.InUse()) {
        state.InUse = true;
        state.Error = state.Path + " is in use";
        return state;
    }
    state.Ok = true;
    return state;
}

OrdersInFolder FindOrdersInFolder(const std::string& universeFile)
{
    OrdersInFolder found;
    found.Host = ReadHostFileState(universeFile);
    if (!found.Host.Ok)
        return found;
    found.Year = found.Host.Header.Year();
    for (int index = 0; index < MaxPlayers; ++index) {
        const std::string path = OrderFilePath(universeFile, index);
        int error = 0;
        const auto bytes = ReadFilePrefix(path, GameFileHeader::Length, &error);
        PlayerOrders& player = found.Players[index];
        if (!bytes) {
            // A missing file is the common case; anything else in its place is worth telling.
            if (error != ENOENT) {
                player.Present = true;
                player.Problem = "cannot be read (" + FileErrorText(error) + ")";
            }
            continue;
        }
        player.Present = true;
        const OrderCheck check = CheckOrderFile(*bytes, path, found.Host.Header);
        player.In = check.verdict == OrderCheck::Accepted;
        player.Problem = check.Reason;
    }
    return found;
}

} // namespace turnpost
