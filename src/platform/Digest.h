#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace turnpost {

/// The SHA-256 of bytes, as 64 lower-case hex digits.
std::string Sha256Hex(std::string_view bytes);

/// A SHA-256 fed in pieces, for data that is never held whole (a file read in slices).
class CSha256
{
public:
    CSha256();
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    void Update(const void* data, std::size_t size);
    /// The digest of everything given, as 64 lower-case hex digits; empty when the hash could not be
    /// computed. The object is spent afterwards.
    std::string FinalHex();

private:
    struct State;
    std::unique_ptr<State> m_State;
};

} // namespace turnpost
