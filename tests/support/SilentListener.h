#pragma once

#include <cstdint>
#include <string>

namespace turnpost::test {

/// A port of 127.0.0.1 that listens and never accepts: a connection made to it stands in the backlog,
/// where the test can see it, and no byte ever comes back.
class SilentListener
{
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    std::uint16_t Port() const { return m_Port; }
    /// "127.0.0.1:port", for Connect.
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_Port); }
    /// A connection is waiting, or comes within the time.
    bool WasConnected(int waitMilliseconds = 0) const;
    /// Stops listening, so that the port refuses connections.
    void Close();

private:
    int m_Socket = -1;
    std::uint16_t m_Port = 0;
};

} // namespace turnpost::test
