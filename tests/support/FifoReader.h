#pragma once

#include <functional>
#include <string>

namespace turnpost::test {

/// What write puts into the FIFO at path, read by a reader of its own. A FIFO without a reader is
/// refused at once rather than waited on, and the reader's open may come a moment after the writer's:
/// write is tried again (for about two seconds) until it returns true; written says whether it did.
std::string ReadWhatIsWritten(const std::string& path, const std::function<bool()>& write, bool& written);

} // namespace turnpost::test
