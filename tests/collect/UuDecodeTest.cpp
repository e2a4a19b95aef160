#include "collect/UuDecode.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

TEST(UuDecodeTest, FindsFilesInText)
{
    struct Case
    {
        const char* Name;
        std::string Text;
        std::vector<std::pair<std::string, std::string>> Files;
        std::size_t Notes;
    };
    const Case cases[] = {
        {"one file", "Hi.\nbegin 644 cat.txt\n#0V%T\n`\nend\nBye.\n", {{"cat.txt", "Cat"}}, 0},
        {"CR LF and a four-digit mode",
         "begin 0644 cat.txt\r\n#0V%T\r\n`\r\nend\r\n",
         {{"cat.txt", "Cat"}},
         0},
        {"name with spaces", "begin 600 my game.x1\n#0V%T\nend\n", {{"my game.x1", "Cat"}}, 0},
        // Zero bytes encode as spaces (or '`'), which mail systems strip from line ends.
        {"trailing spaces stripped",
         "begin 644 zeros\n&0V%T\nend\n",
         {{"zeros", std::string("Cat\0\0\0", 6)}},
         0},
        {"zeros as backquotes", "begin 644 zeros\n#````\nend\n", {{"zeros", std::string(3, '\0')}}, 0},
        {"two files",
         "begin 644 a\n#0V%T\nend\ntext\nbegin 644 b\n!80``\nend\n",
         {{"a", "Cat"}, {"b", "a"}},
         0},
        {"not a begin line", "begin 64 x\n#0V%T\nend\nbegin 644\nbegin 644 \nbegin 64x4 y\n", {}, 0},
        {"no end line", "begin 644 cut\n#0V%T\n", {}, 1},
        {"line far shorter than its count", "begin 644 short\nM\nend\n", {}, 1},
        {"character outside uuencoding", "begin 644 bad\n#0v%T\nend\n", {}, 1},
        {"damaged file then a good one",
         "begin 644 bad\n#0v%T\nend\nbegin 644 good\n#0V%T\nend\n",
         {{"good", "Cat"}},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const UuScan scan = FindUuencodedFiles(c.Text);
        std::vector<std::pair<std::string, std::string>> files;
        for (const MessageFile& file : scan.Files)
            files.emplace_back(file.Name, file.Bytes);
        EXPECT_EQ(files, c.Files);
        EXPECT_EQ(scan.Notes.size(), c.Notes);
    }
}

} // namespace
} // namespace turnpost
