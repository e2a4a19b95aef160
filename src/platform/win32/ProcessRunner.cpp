#include "platform/ProcessRunner.h"

#include "platform/Clock.h"
#include "platform/win32/Handle.h"
#include "platform/win32/Wide.h"

#include <chrono>
#include <future>
#include <thread>

namespace turnpost {

namespace {

struct FirstLine
{
    std::string Line;
    bool TooLong = false;
};

// Reads the pipe to its end, keeping the first line only: a command must never block on a full pipe.
FirstLine ReadFirstLine(HANDLE pipe, std::size_t maxLine)
{
    FirstLine first;
    bool complete = false;
    char buffer[4096];
    DWORD n = 0;
    while (::ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        if (complete || first.TooLong)
            continue;
        first.Line.append(buffer, n);
        if (const auto end = first.Line.find('\n'); end != std::string::npos) {
            // Commands here end their lines with CR LF.
            first.Line.resize(end > 0 && first.Line[end - 1] == '\r' ? end - 1 : end);
            complete = true;
        }
        if (first.Line.size() > maxLine) {
            first.Line.clear();
            first.TooLong = true;
        }
    }
    return first;
}

std::wstring ShellPath()
{
    if (const wchar_t* shell = ::_wgetenv(L"ComSpec"); shell && *shell)
        return shell;
    wchar_t folder[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(folder, n) + L"\\cmd.exe" : L"C:\\Windows\\System32\\cmd.exe";
}

} // namespace

CommandOutcome RunForFirstLine(const std::string& command, int timeout, std::size_t maxLine,
                               const std::string& folder)
{
    CommandOutcome outcome;
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherited, 0)) {
        outcome.Error = LastWindowsErrno();
        return outcome;
    }
    CHandle reader(readEnd);
    CHandle writer(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    // A job holds the command and everything it starts, so that one that outstays its time is stopped
    // with all of it, and nothing it left running outlives the job.
    CHandle job(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job.IsValid() ||
        !::SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        outcome.Error = LastWindowsErrno();
        return outcome;
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    // cmd /s /c takes the rest of the line as the user typed it, between the outer quotes.
    std::wstring line = L"cmd.exe /d /s /c \"" + Widen(command) + L"\"";
    const std::wstring shell = ShellPath();
    const std::wstring workFolder = Widen(folder);
    PROCESS_INFORMATION started{};
    // A process group of its own: the console's Ctrl+C is the host's to handle, not the command's.
    if (!::CreateProcessW(shell.c_str(), line.data(), nullptr, nullptr, TRUE,
                          CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT, nullptr,
                          folder.empty() ? nullptr : workFolder.c_str(), &startup, &started)) {
        outcome.Error = LastWindowsErrno();
        return outcome;
    }
    CHandle process(started.hProcess);
    CHandle thread(started.hThread);
    if (!::AssignProcessToJobObject(job.Get(), process.Get())) {
        outcome.Error = LastWindowsErrno();
        ::TerminateProcess(process.Get(), 1);
        return outcome;
    }
    ::ResumeThread(thread.Get());
    // Only the command holds the pipe's writing end now: its end of output is the pipe's end.
    writer.Reset(INVALID_HANDLE_VALUE);

    const std::uint32_t start = TickCount();
    const std::uint32_t limit = timeout < 0 ? 0u : static_cast<std::uint32_t>(timeout);
    const auto remaining = [&] {
        const std::uint32_t spent = TickCount() - start;
        return spent >= limit ? 0u : limit - spent;
    };
    std::packaged_task<FirstLine()> reading([&] { return ReadFirstLine(reader.Get(), maxLine); });
    std::future<FirstLine> read = reading.get_future();
    std::thread readingThread(std::move(reading));
    bool timedOut = read.wait_for(std::chrono::milliseconds(remaining())) != std::future_status::ready;
    if (!timedOut && ::WaitForSingleObject(process.Get(), remaining()) != WAIT_OBJECT_0)
        timedOut = true;
    if (timedOut)
        ::TerminateJobObject(job.Get(), 1); // the reader then sees the pipe end
    readingThread.join();
    const FirstLine first = read.get();
    outcome.FirstLine = first.Line;
    outcome.LineTooLong = first.TooLong;
    if (timedOut) {
        ::WaitForSingleObject(process.Get(), INFINITE);
        outcome.How = CommandOutcome::End::TimedOut;
        return outcome;
    }
    DWORD status = 0;
    if (!::GetExitCodeProcess(process.Get(), &status)) {
        outcome.Error = LastWindowsErrno();
        return outcome;
    }
    outcome.How = CommandOutcome::End::Exited;
    outcome.Status = static_cast<int>(status);
    return outcome;
}

} // namespace turnpost
