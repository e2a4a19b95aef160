// Feeds arbitrary bytes to the reader of the game files' header and to the turn and order checks. The
// input holds a host file and another game file, each after a byte that gives its length, then the
// other file's name. The checks must never take a file the header reader would not, nor refuse without
// a reason.
#include "game/GameFileHeader.h"
#include "game/HostFile.h"
#include "game/OrderCheck.h"
#include "game/TurnCheck.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

using namespace turnpost;

namespace {

// The next piece of the input: a length byte (up to 31, enough for a header and less), then as many
// bytes as it says and as are left.
std::string_view Piece(std::string_view& input)
{
    if (input.empty())
        return {};
    const std::size_t length = static_cast<unsigned char>(input[0]) & 0x1F;
    input.remove_prefix(1);
    const std::string_view piece = input.substr(0, length);
    input.remove_prefix(piece.size());
    return piece;
}

void Write(const std::string& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void CheckHeader(std::string_view bytes)
{
    const auto header = ParseGameFileHeader(bytes);
    const auto turn = ParseGameTurn(bytes);
    if (header && (!turn || *turn != header->Turn || header->PlayerIndex > 31))
        std::abort();
    if (turn.has_value() != (bytes.size() >= GameFileHeader::TurnLength))
        std::abort();
}

void CheckOrders(std::string_view bytes, const std::string& name, const GameFileHeader& host)
{
    const OrderCheck check = CheckOrderFile(bytes, name, host);
    if ((check.verdict == OrderCheck::Accepted) != check.Reason.empty())
        std::abort();
    if ((check.verdict == OrderCheck::HostBusy) != host.InUse())
        std::abort();
    if (check.verdict == OrderCheck::Accepted) {
        const auto header = ParseGameFileHeader(bytes);
        if (!header || !header->IsType(GameFileType::Orders) || header->GameId != host.GameId ||
            header->Turn != host.Turn || check.PlayerIndex != header->PlayerIndex || check.PlayerIndex < 0 ||
            check.PlayerIndex >= MaxPlayers)
            std::abort();
    }
}

void CheckTurns(std::string_view hostBytes, std::string_view fileBytes)
{
    static const std::string folder = [] {
        char pattern[] = "/tmp/fuzz-game-XXXXXX";
        return std::string(::mkdtemp(pattern));
    }();
    Write(folder + "/g.hst", hostBytes);
    Write(folder + "/g.m2", fileBytes);
    GameFilesToCheck files;
    files.UniverseFile = folder + "/g.xy";
    files.Players[1] = {true, folder + "/g.m2"};
    files.Players[2] = {true, ""};
    files.Players[3] = {false, folder + "/g.m2"};
    const TurnCheck check = CheckTurnFiles(files);

    const auto host = ParseGameFileHeader(hostBytes);
    const bool idleHost = host && host->IsType(GameFileType::Host) && !host->InUse();
    if (check.MailNobody != (host && host->IsType(GameFileType::Host) && host->InUse()))
        std::abort();
    if (!check.MailNobody && !check.Refusals[2].empty())
        std::abort(); // a player without files is refused only when nobody is mailed
    for (int index : {0, 3, 4, 15})
        if (!check.Refusals[static_cast<std::size_t>(index)].empty())
            std::abort(); // nobody else is mailed
    if (!idleHost && !check.MailNobody && !check.Refusals[1].empty())
        std::abort(); // unchecked files refuse nobody
    if (idleHost && check.Note.size() != 0)
        std::abort();
    if (idleHost) {
        const auto file = ParseGameFileHeader(fileBytes);
        const bool right = file && file->IsType(GameFileType::Turn) && file->GameId == host->GameId &&
                           file->Turn == host->Turn && file->PlayerIndex == 1;
        if (right == !check.Refusals[1].empty())
            std::abort();
    }
    // The year reads the same host file by its own rule.
    const auto turn = ParseGameTurn(hostBytes);
    if (ReadGameYear(folder + "/g.hst") != (turn ? GameYearOf(*turn) : 0))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string_view hostBytes = Piece(input);
    const std::string_view fileBytes = Piece(input);
    const std::string name(input);

    CheckHeader(hostBytes);
    CheckHeader(fileBytes);
    if (const auto host = ParseGameFileHeader(hostBytes))
        CheckOrders(fileBytes, name, *host);
    CheckTurns(hostBytes, fileBytes);
    return 0;
}
