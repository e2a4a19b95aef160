#include "platform/Program.h"

#include "platform/win32/Handle.h"
#include "platform/win32/Wide.h"

#include <cerrno>
#include <shellapi.h>

namespace turnpost {

namespace {

// One argument as the C library of the program started will read it back: quoted when it holds a
// blank or a quote, with the backslashes before a quote doubled.
void AppendArgument(std::wstring& line, const std::wstring& argument)
{
    if (!line.empty())
        line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

bool EndsWithIgnoringCase(const std::string& text, const char* ending)
{
    const std::string_view end(ending);
    if (text.size() < end.size())
        return false;
    for (std::size_t i = 0; i < end.size(); ++i) {
        const char c = text[text.size() - end.size() + i];
        if ((c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c) != end[i])
            return false;
    }
    return true;
}

} // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(Narrow(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

void UseUtf8Console()
{
    ::SetConsoleOutputCP(CP_UTF8);
}

bool HasDisplay()
{
    // A Windows session always has its desktop.
    return true;
}

std::string OwnProgramPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return Narrow(path);
        }
        if (path.size() >= 32768)
            return {};
        path.resize(path.size() * 2);
    }
}

bool IsRunnableProgram(const std::string& path)
{
    // Windows runs what its name says is a program, not what a permission bit says.
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (EndsWithIgnoringCase(path, ".exe") || EndsWithIgnoringCase(path, ".com"));
}

int ReplaceProcess(const std::string& path, char** argv)
{
    // Windows cannot put another program in this process's place: it runs the program, waits for it
    // and ends with its exit status, which is what whoever started this process sees of an exec.
    std::wstring line;
    for (char** argument = argv; argument && *argument; ++argument)
        AppendArgument(line, Widen(*argument));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(Widen(path).c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &started))
        return LastWindowsErrno();
    CHandle process(started.hProcess);
    CHandle thread(started.hThread);
    DWORD status = 1;
    if (::WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(process.Get(), &status))
        status = 1;
    ::ExitProcess(status);
}

} // namespace turnpost
