#include "send/DeliveryLedger.h"
#include "send/SendRun.h"

#include "support/GameFiles.h"
#include "support/PythonSmtpServer.h"
#include "support/RecordingUserInterface.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <unistd.h>

namespace turnpost {
namespace {

using test::GameFileBytes;
using test::GameFileFacts;
using test::RecordingUserInterface;
using test::TempDir;

/// A saved four-player game at turn 42 (universe, host and turn files) mailed to one server.
struct ResendGame
{
    TempDir Dir;
    GameDocument Document;

    ResendGame(const std::string& server, std::uint32_t gameId = GameFileFacts{}.GameId)
    {
        Document.FilePath = Dir.File("game.tpf");
        Document.CommandLineRun = 1;
        auto& setup = Document.Setup;
        setup.GameName = "Alpha";
        setup.UniverseFile = test::WriteConsistentGame(Dir, "g", 4);
        setup.SendUniverseFile = 1;
        setup.SendPlayerFile = 1;
        setup.ReturnAddress = "host@example.org";
        setup.SmtpServer = server;
        setup.SmtpTimeout = 5000;
        for (int index = 0; index < 4; ++index)
            setup.Players[static_cast<std::size_t>(index)] = {
                1, "p" + std::to_string(index + 1) + "@example.org",
                Dir.File("g.m" + std::to_string(index + 1))};
        if (gameId != GameFileFacts{}.GameId) {
            GameFileFacts universe;
            universe.GameId = gameId;
            universe.FileType = 0;
            universe.PlayerIndex = 31;
            Dir.Write("g.xy", GameFileBytes(universe));
            WriteTurn(42, 30, gameId);
        }
    }
    /// New turn files for all four players: a turn generation (or a regeneration of the same turn).
    void WriteTurn(std::uint16_t turn, std::size_t size, std::uint32_t gameId = GameFileFacts{}.GameId) const
    {
        for (int index = 0; index < 4; ++index) {
            GameFileFacts facts;
            facts.GameId = gameId;
            facts.Turn = turn;
            facts.PlayerIndex = index;
            facts.Size = size + static_cast<std::size_t>(index);
            Dir.Write("g.m" + std::to_string(index + 1), GameFileBytes(facts));
        }
        GameFileFacts host;
        host.GameId = gameId;
        host.Turn = turn;
        host.FileType = 2;
        host.PlayerIndex = 31;
        Dir.Write("g.hst", GameFileBytes(host));
    }
    /// A send in which the turn file of player 2 is missing, so that he alone is not mailed.
    void SendWithoutPlayer2()
    {
        const std::string kept = test::ReadFileBytes(Dir.File("g.m2"));
        ::unlink(Dir.File("g.m2").c_str());
        EXPECT_EQ(Send(false).Failed, 1);
        Dir.Write("g.m2", kept);
    }
    SendOutcome Send(bool resendFailed)
    {
        RecordingUserInterface ui(&Document);
        ui.FillRows();
        return resendFailed ? OnResendFailed(Document, ui) : OnSend(Document, ui);
    }
};

TEST(ResendByTurn, OnlyPlayersWithoutADeliveryOfThisTurnsMailAreMailedAndNoneTwice)
{
    test::PythonSmtpServer server({});
    ASSERT_TRUE(server.IsRunning()) << server.Error();
    struct Case
    {
        const char* name;
        std::function<void(ResendGame&)> history; ///< what happened before the resend
        std::vector<std::string> resent;
    };
    const Case cases[] = {
        {"without a universe file the year is 0 every turn",
         [](ResendGame& game) {
             game.Document.Setup.UniverseFile.clear();
             EXPECT_EQ(game.Send(false).Failed, 0);
             game.WriteTurn(43, 30);
             game.SendWithoutPlayer2();
         },
         {"p2@example.org"}},
        {"the host file is empty when the resend starts",
         [](ResendGame& game) {
             game.SendWithoutPlayer2();
             game.Dir.Write("g.hst", "");
         },
         {"p2@example.org"}},
        {"the turn is generated again in the same year",
         [](ResendGame& game) {
             EXPECT_EQ(game.Send(false).Failed, 0);
             game.WriteTurn(42, 50);
         },
         {"p1@example.org", "p2@example.org", "p3@example.org", "p4@example.org"}},
        {"the ledger was copied from another game",
         [&server](ResendGame& game) {
             ResendGame other(server.Address(), 99);
             EXPECT_EQ(other.Send(false).Failed, 0);
             std::filesystem::copy_file(other.Dir.File("game.tpf.ledger"), game.Dir.File("game.tpf.ledger"));
         },
         {"p1@example.org", "p2@example.org", "p3@example.org", "p4@example.org"}},
        {"an address changed",
         [](ResendGame& game) {
             EXPECT_EQ(game.Send(false).Failed, 0);
             game.Document.Setup.Players[2].EmailAddress = "p3@example.net";
         },
         {"p3@example.net"}},
        {"no turn file is sent: the same year is delivered",
         [](ResendGame& game) {
             game.Document.Setup.SendPlayerFile = 0;
             EXPECT_EQ(game.Send(false).Failed, 0);
         },
         {}},
        {"no turn file is sent: the next year is not",
         [](ResendGame& game) {
             game.Document.Setup.SendPlayerFile = 0;
             EXPECT_EQ(game.Send(false).Failed, 0);
             game.WriteTurn(43, 30);
         },
         {"p1@example.org", "p2@example.org", "p3@example.org", "p4@example.org"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResendGame game(server.Address());
        c.history(game);
        const std::size_t before = server.Record().Messages.size();

        const SendOutcome resend = game.Send(true);
        EXPECT_TRUE(resend.Succeeded()) << resend.Summary;
        const auto messages = server.Record().Messages;
        std::vector<std::string> to;
        for (std::size_t i = before; i < messages.size(); ++i)
            to.insert(to.end(), messages[i].To.begin(), messages[i].To.end());
        std::sort(to.begin(), to.end());
        EXPECT_EQ(to, c.resent);

        // Whoever the resend mailed now counts as delivered: a second resend mails nobody.
        const SendOutcome again = game.Send(true);
        EXPECT_TRUE(again.Attempts.empty()) << again.Summary;
        EXPECT_EQ(server.Record().Messages.size(), messages.size());
    }
}

} // namespace
} // namespace turnpost
