#include "game/OrderCheck.h"

#include "platform/Files.h"

#include <optional>

namespace turnpost {

namespace {

/// The digits after ".x" at the end of the name ("galaxy.x7" gives "7"); nullopt when the name ends
/// otherwise. Kept as text so that no length of digits can overflow a number.
std::optional<std::string> PlayerNumberOfName(const std::string& fileName)
{
    const auto dot = fileName.find_last_of('.');
    if (dot == std::string::npos || dot + 2 >= fileName.size())
        return std::nullopt;
    if (fileName[dot + 1] != 'x' && fileName[dot + 1] != 'X')
        return std::nullopt;
    const std::string digits = fileName.substr(dot + 2);
    if (digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return digits;
}

OrderCheck Refused(OrderCheck::Verdict verdict, std::string reason, int playerIndex = -1)
{
    OrderCheck check;
    check.verdict = verdict;
    check.PlayerIndex = playerIndex;
    check.Reason = std::move(reason);
    return check;
}

} // namespace

OrderCheck CheckOrderFile(std::string_view bytes, const std::string& name, const GameFileHeader& host)
{
    // While the host writes its file neither its turn nor its game can be trusted: nothing is judged.
    if (host.InUse())
        return Refused(OrderCheck::HostBusy,
                       "the host is generating the turn; send it again in a few minutes");
    const auto header = ParseGameFileHeader(bytes);
    if (!header || !header->IsType(GameFileType::Orders) || header->PlayerIndex >= MaxPlayers)
        return Refused(OrderCheck::NotOrders, "this is not an order file");
    const int player = header->PlayerIndex;
    if (header->GameId != host.GameId)
        return Refused(OrderCheck::OtherGame, "this order file is for another game", player);
    if (header->Turn != host.Turn)
        return Refused(OrderCheck::OtherTurn,
                       "for turn " + std::to_string(header->Year()) + ", the current turn is " +
                           std::to_string(host.Year()),
                       player);
    const std::string fileName = FileNameOf(name);
    if (const auto number = PlayerNumberOfName(fileName); number && *number != std::to_string(player + 1))
        return Refused(OrderCheck::OtherPlayer,
                       "for player " + std::to_string(player + 1) + ", but named " + fileName, player);
    OrderCheck check;
    check.verdict = OrderCheck::Accepted;
    check.PlayerIndex = player;
    return check;
}

} // namespace turnpost
