#include "mail/MailAttachment.h"
#include "mail/Base64.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

namespace turnpost {
namespace {

TEST(MailAttachmentTest, LoadsNamedFilesAndRefusesWhatCannotBeRead)
{
    test::TempDir dir;
    CMailAttachment game;
    ASSERT_TRUE(game.Load(dir.Write("game.m3", "abc")));
    EXPECT_EQ(game.GetName(), "game.m3");
    EXPECT_EQ(game.GetEncodedText(), "YWJj\r\n");

    CMailAttachment bare;
    ASSERT_TRUE(bare.Load(dir.Write("README", "")));
    EXPECT_EQ(bare.GetName(), "README");
    EXPECT_EQ(bare.GetEncodedText(), "\r\n");

    // Larger than one read slice, so the slices must join without a seam.
    std::string big(57 * 16 * 1024 * 2 + 5, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 251);
    CMailAttachment large;
    ASSERT_TRUE(large.Load(dir.Write("big.xy", big)));
    std::string whole(static_cast<std::size_t>(Base64BufferSize(static_cast<std::int64_t>(big.size()))),
                      '\0');
    std::size_t length = 0;
    ASSERT_TRUE(EncodeBase64(reinterpret_cast<const unsigned char*>(big.data()), big.size(), whole.data(),
                             whole.size(), &length));
    whole.resize(length);
    EXPECT_EQ(large.GetEncodedText(), whole);

    // A failed load leaves the attachment empty, also after an earlier success.
    for (const std::string& path : {dir.File("missing.m1"), dir.Path()}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(game.Load(path));
        EXPECT_EQ(game.GetName(), "");
        EXPECT_EQ(game.GetEncodedText(), "");
    }
}

} // namespace
} // namespace turnpost
