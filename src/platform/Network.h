#pragma once

namespace turnpost {

/// Readies the network layer for the whole run. On POSIX it only keeps a peer's closed connection
/// from killing the program (SIGPIPE); platforms that need a start-up call make it here.
bool StartNetwork();

} // namespace turnpost
