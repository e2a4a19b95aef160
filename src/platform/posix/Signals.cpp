#include "platform/Signals.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace turnpost {

namespace {

std::atomic<int> g_Interrupts{0};
const char* g_LastWords = "";

constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnInterrupt(int signalNumber)
{
    if (g_Interrupts.fetch_add(1) >= 1) {
        // The second signal: whoever sent it wants out now, whatever is going on.
        (void)!::write(STDERR_FILENO, g_LastWords, std::strlen(g_LastWords));
        ::_exit(128 + signalNumber);
    }
}

} // namespace

void IgnoreFileSizeSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

void InstallInterruptHandler(const char* lastWords)
{
    g_LastWords = lastWords;
    struct sigaction action
    {
    };
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : StopSignals)
        ::sigaction(signalNumber, &action, nullptr);
}

int InterruptCount()
{
    return g_Interrupts.load();
}

void RequestInterrupt()
{
    g_Interrupts.fetch_add(1);
}

bool StandardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

} // namespace turnpost
