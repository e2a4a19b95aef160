#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace turnpost {
namespace {

TEST(TextTest, CutsOnlyBetweenCharacters)
{
    // "aé€😀": 1, 2, 3 and 4 bytes.
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    const struct
    {
        std::size_t At;
        std::size_t Cut;
    } cases[] = {{0, 0}, {1, 1}, {2, 1}, {3, 3}, {4, 3}, {5, 3}, {6, 6}, {8, 6}, {9, 6}, {10, 10}, {99, 10}};
    for (const auto& c : cases)
        EXPECT_EQ(Utf8CutPoint(text, c.At), c.Cut) << c.At;
    // A stray continuation byte at the start cannot be backed over.
    EXPECT_EQ(Utf8CutPoint("\x80\x80x", 1), 0u);

    EXPECT_TRUE(IsAscii(""));
    EXPECT_TRUE(IsAscii(std::string("tab\tnul\0del\x7F", 12)));
    EXPECT_FALSE(IsAscii(text));
    EXPECT_FALSE(IsAscii("\xFF"));
}

} // namespace
} // namespace turnpost
