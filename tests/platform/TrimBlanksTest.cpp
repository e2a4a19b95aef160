#include "platform/Text.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

TEST(TrimBlanks, TakesSpacesAndTabsFromBothEndsOnly)
{
    const struct
    {
        const char* text;
        const char* trimmed;
    } cases[] = {
        {" \ta@example.org \t", "a@example.org"},
        {"Bob Smith", "Bob Smith"},
        {"  inner  blanks  ", "inner  blanks"},
        {"\r\nline\r\n", "\r\nline\r\n"},
        {" \t ", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TrimBlanks(c.text), c.trimmed) << '"' << c.text << '"';
}

} // namespace
} // namespace turnpost
