#include "mail/Base64.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

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
TEST(Base64Test, MatchesPythonForEveryLengthAndLargeInputs)
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

TEST(Base64Test, EncodesTheEdgeLengthsExactly)
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

TEST(Base64Test, LineFormHasNoBreaks)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {std::string("\xff\xfe\x00", 3), "//4A"},
    };
    for (const auto& [bytes, encoded] : cases)
        EXPECT_EQ(EncodeBase64Line(bytes), encoded);
    // Long credentials stay on one line: a line break would end the SASL response early.
    const std::string longText = EncodeBase64Line(std::string(100, 'a'));
    EXPECT_EQ(longText.size(), 136u);
    EXPECT_EQ(longText.find_first_of("\r\n"), std::string::npos);
}

TEST(Base64Test, LineFormIsTheAttachmentFormWithoutItsBreaks)
{
    for (std::size_t n = 0; n < 200; ++n) {
        std::string input;
        for (std::size_t i = 0; i < n; ++i)
            input += static_cast<char>(i * 37 + n);
        std::string joined;
        for (const char c : Encode(input))
            if (c != '\r' && c != '\n')
                joined += c;
        EXPECT_EQ(EncodeBase64Line(input), joined) << n;
    }
}

TEST(Base64Test, RefusesAnOutputBufferThatIsTooSmall)
{
    const std::string input(58, 'x');
    const auto need = static_cast<std::size_t>(Base64BufferSize(58));
    std::string out(need, '#');
    std::size_t length = 99;
    EXPECT_FALSE(EncodeBase64(reinterpret_cast<const unsigned char*>(input.data()), input.size(), out.data(),
                              need - 1, &length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(out, std::string(need, '#')) << "nothing written";
    EXPECT_TRUE(EncodeBase64(reinterpret_cast<const unsigned char*>(input.data()), input.size(), out.data(),
                             need, &length));
    EXPECT_EQ(length, 84u);
}

} // namespace
} // namespace turnpost
