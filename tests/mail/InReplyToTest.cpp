#include "mail/MailMessage.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

TEST(InReplyTo, NamesTheAnsweredMailOnlyWhereItCannotBreakTheHeader)
{
    struct Case
    {
        std::string Id;
        bool Named;
    };
    const Case cases[] = {
        {"20261210.abc@mail.example.net", true},
        {"", false},
        {"a b@example.net", false},
        {"a@example.net>\r\nBcc: x@example.net", false},
        {"a<b@example.net", false},
        {std::string(901, 'a'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Id);
        CMailMessage message;
        message.From = CMailAddress("host@example.org");
        message.AddRecipient(CMailAddress("p1@example.org"));
        message.InReplyTo = c.Id;
        const std::string header = message.GetHeader();
        if (c.Named) {
            EXPECT_NE(header.find("\r\nIn-Reply-To: <" + c.Id + ">\r\nReferences: <" + c.Id + ">\r\n"),
                      std::string::npos)
                << header;
        } else {
            EXPECT_EQ(header.find("In-Reply-To"), std::string::npos) << header;
            EXPECT_EQ(header.find("References"), std::string::npos) << header;
        }
    }
}

} // namespace
} // namespace turnpost
