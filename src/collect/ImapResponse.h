#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace turnpost {

// Readers of the untagged lines a server sends in answer to one command. They take only what they
// look for and treat everything else in the text as data, never as something to send back.

/// The names of "* CAPABILITY" lines, upper-cased.
std::vector<std::string> ParseCapabilities(std::string_view untagged);

/// The hierarchy separator from the answer to LIST "" "": the character, '\0' for NIL (flat names),
/// nothing when no LIST line could be read.
std::optional<char> ParseListSeparator(std::string_view untagged);

/// True when a LIST line names an existing folder (one not flagged \NonExistent).
bool ListNamesFolder(std::string_view untagged);

/// The UIDs of "* SEARCH" lines in ascending order without repeats; nothing when a line holds what
/// is not a UID (1 to 4294967295).
std::optional<std::vector<std::uint32_t>> ParseSearchUids(std::string_view untagged);

/// Whether the FETCH line for uid carries the \Seen flag; nothing when no FETCH line names uid.
std::optional<bool> ParseSeenFlag(std::string_view untagged, std::uint32_t uid);

/// What a refusal (a NO, BAD or BYE line, tagged or not) says after its status word ("a1 NO [TRYCREATE]
/// no such folder" gives "[TRYCREATE] no such folder"), control characters dropped and cut to a
/// readable size; empty for any other line.
std::string StatusText(std::string_view line);

} // namespace turnpost
