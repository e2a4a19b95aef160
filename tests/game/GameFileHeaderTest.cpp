#include "game/GameFileHeader.h"

#include "support/GameFiles.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::GameFileBytes;
using test::GameFileFacts;

TEST(GameFileHeader, ReadsEveryFieldAndNeedsTheBlockHeader)
{
    GameFileFacts facts;
    facts.GameId = 0xA1B2C3D4;
    facts.Turn = 7;
    facts.PlayerIndex = 13;
    facts.FileType = 3;
    facts.Flags = 0x0B;
    const auto header = ParseGameFileHeader(GameFileBytes(facts));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->GameId, 0xA1B2C3D4u);
    EXPECT_EQ(header->Turn, 7);
    EXPECT_EQ(header->Year(), 2407);
    EXPECT_EQ(header->PlayerIndex, 13); // the salt above bit 4 is not part of it
    EXPECT_TRUE(header->IsType(GameFileType::Turn));
    EXPECT_TRUE(header->InUse());

    std::string bytes = GameFileBytes(facts);
    EXPECT_FALSE(ParseGameFileHeader(bytes.substr(0, 17)));
    bytes[1] = 0x21;
    EXPECT_FALSE(ParseGameFileHeader(bytes));
}

// The year needs only the turn number: 14 bytes of anything, block header or not.
TEST(GameFileHeader, TurnNeedsFourteenBytesAndNothingElse)
{
    GameFileFacts facts;
    facts.Turn = 0x1234;
    const std::string game = GameFileBytes(facts);
    std::string foreign = game;
    foreign[0] = 'Z';
    struct Case
    {
        std::string bytes;
        std::optional<std::uint16_t> turn;
    };
    const Case cases[] = {
        {game, 0x1234},
        {game.substr(0, 14), 0x1234},
        {game.substr(0, 13), std::nullopt}, // the turn's high byte is missing
        {foreign, 0x1234},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseGameTurn(c.bytes), c.turn) << c.bytes.size() << " bytes";
    EXPECT_EQ(GameYearOf(0), 2400);
    EXPECT_EQ(GameYearOf(0xFFFF), 2399);
}

} // namespace
} // namespace turnpost
