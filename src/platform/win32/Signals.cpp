#include "platform/Signals.h"

#include <atomic>
#include <cstring>
#include <windows.h>

namespace turnpost {

namespace {

std::atomic<int> g_Interrupts{0};
const char* g_LastWords = "";

// The number of the POSIX signal each console event stands for, so that the exit status reads the same
// on every system: Ctrl+C and Ctrl+Break interrupt, a closed console hangs up, a log-off or a
// shut-down terminates.
int SignalNumberOf(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        return 2;
    case CTRL_CLOSE_EVENT:
        return 1;
    default:
        return 15;
    }
}

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    if (g_Interrupts.fetch_add(1) >= 1) {
        // The second request: whoever made it wants out now, whatever is going on.
        DWORD written = 0;
        ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), g_LastWords,
                    static_cast<DWORD>(std::strlen(g_LastWords)), &written, nullptr);
        ::ExitProcess(128 + SignalNumberOf(event));
    }
    // Handled: the run stops where it chooses. For a closed console, a log-off or a shut-down Windows
    // ends the process as soon as this returns, so it is held for most of the five seconds Windows
    // grants, in which the run finishes its player and writes the report (it ends the process sooner).
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        ::Sleep(4500);
    return TRUE;
}

} // namespace

void IgnoreFileSizeSignal()
{
    // Windows has no file-size signal: a write past a limit simply fails.
}

void InstallInterruptHandler(const char* lastWords)
{
    g_LastWords = lastWords;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
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
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

} // namespace turnpost
