#pragma once

#include <string>
#include <string_view>

namespace turnpost {

/// How putting one order file into the game folder ended.
struct OrderWrite
{
    bool Ok = false;
    std::string Error;         ///< why nothing was written, naming the file
    bool KeptPrevious = false; ///< the file it replaced is now PATH.previous
};

/// Writes an order file atomically at path. A file already there is kept as PATH.previous first, unless
/// it holds the same bytes (a message taken twice changes nothing). Only regular files are written: a
/// symbolic link, a folder or a device in the place of either is refused and left alone.
OrderWrite WriteOrderFile(const std::string& path, std::string_view bytes);

/// Where WriteOrderFile keeps the file it replaced.
std::string PreviousOrderPath(const std::string& path);

} // namespace turnpost
