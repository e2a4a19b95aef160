#pragma once

#include "setup/GameSetup.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace turnpost {

/// A file a player's message carries, as it was when the player was mailed.
struct AttachedFile
{
    std::string Path;
    std::uint64_t Size = 0;
    std::string Sha256; ///< lower-case hex; empty when the file could not be read
};

/// One selected player's turn in a send run: what the ledger keeps and the JSON report prints.
struct PlayerAttempt
{
    std::string Time; ///< UTC, as 2024-05-01T18:30:00Z
    std::uint16_t Year = 0;
    /// The game and turn of what the player got, from the header of his turn file (or, without one,
    /// the host file's): nullopt where no header could be read, and in lines of older versions.
    std::optional<std::uint32_t> GameId;
    std::optional<std::uint16_t> Turn;
    int Player = 0; ///< 1 to 16
    std::string Address;
    std::vector<AttachedFile> Files;
    std::string Result; ///< the result line, without its LF
    bool Sent = false;
    /// The server's reply to the end of the data, which names the queue id a postmaster asks for.
    std::string Reply;
};

/// Lists the files a player's message carries (as the send options say) with their sizes and
/// SHA-256 digests. Each file is read once per run, however many players get it; one too large to
/// mail is not read at all.
class CAttachmentDigests
{
public:
    std::vector<AttachedFile> ForPlayer(const GameSetup& setup, int index);
    AttachedFile Describe(const std::string& path);

private:
    std::map<std::string, AttachedFile> m_Known;
};

/// The current time in the form PlayerAttempt keeps.
std::string AttemptTime();

} // namespace turnpost
