#include "platform/Digest.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace turnpost;

TEST(Sha256, KnownDigestsWholeAndInPieces)
{
    const struct
    {
        std::string Text;
        const char* Digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(Sha256Hex(c.Text), c.Digest);
        // Pieces of uneven sizes, so no piece boundary falls on a block boundary by luck.
        for (const std::size_t piece : {1u, 7u, 64u}) {
            CSha256 sha;
            for (std::size_t at = 0; at < c.Text.size(); at += piece)
                sha.Update(c.Text.data() + at, std::min(piece, c.Text.size() - at));
            EXPECT_EQ(sha.FinalHex(), c.Digest);
            EXPECT_EQ(sha.FinalHex(), "") << "a spent hash gives nothing more";
        }
    }
}
