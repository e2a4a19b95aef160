#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace turnpost {

/// A file found in a message; its name is as the sender wrote it and must never be used as a path.
struct MessageFile
{
    std::string Name;
    std::string Bytes;
};

/// The uuencoded files in a text ("begin 644 game.x7" ... "end"), in order. A block that is damaged or
/// lacks its end line is left out, with a note that says so.
struct UuScan
{
    std::vector<MessageFile> Files;
    std::vector<std::string> Notes;
};

UuScan FindUuencodedFiles(std::string_view text);

} // namespace turnpost
