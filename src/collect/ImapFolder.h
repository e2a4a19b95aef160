#pragma once

#include <string>
#include <string_view>

namespace turnpost {

/// A folder name from the setup, made ready for the server. The setup writes '/' between levels
/// ("Turnpost/Processed"); the server may use another separator, and names beyond ASCII travel in
/// modified UTF-7 (RFC 3501 5.1.3).
struct ImapFolder
{
    bool Ok = false;
    std::string Error;
    std::string Name; ///< as the server knows it
    /// The name as an IMAP quoted string, safe to place in a command.
    std::string Quoted() const { return "\"" + Name + "\""; }
};

/// Checks a folder name and turns it into the server's form. Refuses control characters, '"', '\\',
/// '*', '%' and empty levels with a clear error, and a level that holds the server's own separator.
/// separator is the server's hierarchy separator, '\0' when its names are flat.
ImapFolder MakeImapFolder(std::string_view setupName, char separator);

/// The folder name as a URL path, every byte but letters and digits escaped.
std::string FolderUrlPath(const std::string& serverName);

} // namespace turnpost
