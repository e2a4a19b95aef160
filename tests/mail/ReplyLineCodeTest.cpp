#include "mail/SmtpReplyReader.h"

#include <gtest/gtest.h>

#include <optional>

namespace turnpost {
namespace {

TEST(ReplyLineCode, ThreeDigitsThenABlankADashOrNothing)
{
    const struct
    {
        const char* line;
        std::optional<int> code;
    } cases[] = {
        {"250 OK", 250},
        {"250-PIPELINING", 250},
        {"221", 221},
        {"000 zero is a code too", 0},
        {"250OK", std::nullopt},
        {"25", std::nullopt},
        {"2x0 OK", std::nullopt},
        {" 250 OK", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(ReplyLineCode(c.line), c.code);
    }
}

} // namespace
} // namespace turnpost
