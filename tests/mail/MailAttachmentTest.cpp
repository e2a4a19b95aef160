#include "mail/MailAttachment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>

namespace turnpost {
namespace {

std::string Encode(const std::string& bytes)
{
    std::string out(static_cast<std::size_t>(Base64BufferSize(static_cast<std::int64_t>(bytes.size()))),
                    '\x7F');
    std::size_t length = 0;
    EXPECT_TRUE(EncodeBase64(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out.data(),
                             out.size(), &length));
    EXPECT_LT(length, out.size()); // room for the zero
    EXPECT_EQ(out[length], '\0');
    out.resize(length);
    return out;
}

// Python's base64 module is the reference for the alphabet and padding; the line layout is checked
// here: 76 characters a line, CR LF after each, and one more CR LF at the end.
TEST(MailAttachmentTest, MatchesPythonForEveryLengthAndLargeInputs)
{
    std::mt19937 random(7);
    std::vector<std::string> inputs;
    for (std::size_t n = 0; n <= 320; ++n) {
        std::string bytes(n, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        inputs.push_back(bytes);
    }
    for (const std::size_t n : {4096u, 65536u + 1u, 57u * 1000u, 1000003u}) {
        std::string bytes(n, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        inputs.push_back(bytes);
    }
    std::string all;
    for (const auto& input : inputs)
        all += input;
    test::TempDir dir;
    const std::string inputFile = dir.Write("inputs", all);
    std::ostringstream lengths;
    for (const auto& input : inputs)
        lengths << input.size() << ' ';
    const std::string script =
        "import base64,sys\n"
        "data=open(sys.argv[1],'rb').read(); pos=0\n"
        "for n in map(int, sys.argv[2].split()):\n"
        "    sys.stdout.write(base64.b64encode(data[pos:pos+n]).decode()+'\\n'); pos+=n\n";
    const std::string command = "/usr/bin/python3 -c \"" + script + "\" '" + inputFile + "' '" +
                                lengths.str() + "' > '" + dir.File("out") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::istringstream expected(test::ReadFileBytes(dir.File("out")));

    for (const auto& input : inputs) {
        const std::size_t n = input.size();
        SCOPED_TRACE(n);
        std::string reference;
        ASSERT_TRUE(std::getline(expected, reference));
        const std::string encoded = Encode(input);
        const std::size_t fullLines = n / 57;
        EXPECT_EQ(encoded.size(), 4 * (n / 3) + (n % 3 ? 4 : 0) + 2 * fullLines + 2);
        EXPECT_LE(encoded.size() + 1,
                  static_cast<std::size_t>(Base64BufferSize(static_cast<std::int64_t>(n))));

        std::string joined;
        std::size_t lines = 0;
        for (std::size_t pos = 0; pos < encoded.size(); ++lines) {
            const auto end = encoded.find("\r\n", pos);
            ASSERT_NE(end, std::string::npos);
            const std::string line = encoded.substr(pos, end - pos);
            if (lines < fullLines)
                ASSERT_EQ(line.size(), 76u);
            else
                ASSERT_LE(line.size(), 76u); // 18 groups and a padded rest can fill it
            joined += line;
            pos = end + 2;
        }
        EXPECT_EQ(lines, fullLines + 1); // the last line is empty for a multiple of 57
        EXPECT_EQ(joined, reference);
    }
}

TEST(MailAttachmentTest, EncodesTheEdgeLengthsExactly)
{
    const std::string line(76, 'A');
    const struct
    {
        std::size_t Size;
        std::string Text;
    } cases[] = {
        {0, "\r\n"},
        {1, "AA==\r\n"},
        {2, "AAA=\r\n"},
        {3, "AAAA\r\n"},
        {57, line + "\r\n\r\n"},
        {58, line + "\r\nAA==\r\n"},
        {114, line + "\r\n" + line + "\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Size);
        EXPECT_EQ(Encode(std::string(c.Size, '\0')), c.Text);
    }
    EXPECT_EQ(Encode("\xFF\xEF\xBE"), "/+++\r\n");
    EXPECT_EQ(Base64BufferSize(0), 3);
    EXPECT_EQ(Base64BufferSize(57), 81);
    EXPECT_EQ(Base64BufferSize(3'000'000'000LL), 4'105'263'160LL); // no 32-bit overflow
}

TEST(MailAttachmentTest, LoadsNamedFilesAndRefusesWhatCannotBeRead)
{
    test::TempDir dir;
    CMailAttachment game;
    ASSERT_TRUE(game.Load(dir.Write("game.m3", "abc")));
    EXPECT_EQ(game.GetName(), "game.m3");
    EXPECT_EQ(game.GetEncodedText(), "YWJj\r\n");
    EXPECT_EQ(game.GetEncodedLength(), 6u);

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
    EXPECT_EQ(large.GetEncodedText(), Encode(big));

    // A failed load leaves the attachment empty, also after an earlier success.
    for (const std::string& path : {dir.File("missing.m1"), dir.Path()}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(game.Load(path));
        EXPECT_EQ(game.GetName(), "");
        EXPECT_EQ(game.GetEncodedLength(), 0u);
    }
}

} // namespace
} // namespace turnpost
