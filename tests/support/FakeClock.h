#pragma once

#include "platform/Clock.h"

#include <functional>
#include <vector>

namespace turnpost::test {

/// A pause clock whose time passes only when something sleeps on it; in place while it lives.
class FakeClock : public IClock
{
public:
    FakeClock() : m_Before(SetPauseClock(this)) {}
    ~FakeClock() override { SetPauseClock(m_Before); }
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    std::uint32_t TickCount() override { return m_Now; }
    void Sleep(int milliseconds) override
    {
        Sleeps.push_back(milliseconds);
        m_Now += static_cast<std::uint32_t>(milliseconds > 0 ? milliseconds : 0);
        if (AfterSleep)
            AfterSleep(m_Now);
    }

    /// Every sleep asked for, in order.
    std::vector<int> Sleeps;
    /// Called after each sleep with the time now, so a test can act in the middle of a pause.
    std::function<void(std::uint32_t now)> AfterSleep;

private:
    std::uint32_t m_Now = 1000;
    IClock* m_Before;
};

} // namespace turnpost::test
