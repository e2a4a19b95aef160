#include "platform/UserFolders.h"

#include "platform/Files.h"
#include "platform/win32/Handle.h"
#include "platform/win32/Wide.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <shlobj.h>
#include <winioctl.h>

namespace turnpost {

namespace {

std::string Environment(const wchar_t* name)
{
    const wchar_t* value = ::_wgetenv(name);
    return value ? Narrow(value) : std::string();
}

std::string KnownFolder(REFKNOWNFOLDERID id)
{
    PWSTR folder = nullptr;
    std::string path;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &folder)))
        path = Narrow(folder);
    ::CoTaskMemFree(folder);
    return path;
}

bool IsAbsolute(const std::string& path)
{
    const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool share =
        path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
    return drive || share;
}

// The system's final name for an open file comes in its long form ("\\?\C:\..." or "\\?\UNC\...");
// people and the rest of the program know the short one.
std::string WithoutLongPrefix(std::wstring path)
{
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return Narrow(L"\\\\" + path.substr(8));
    if (path.rfind(L"\\\\?\\", 0) == 0)
        return Narrow(path.substr(4));
    return Narrow(path);
}

// Where the link at path points, as it was written; an error number when it cannot be read.
bool ReadLink(const std::wstring& path, std::string& target, int& error)
{
    CHandle link(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!link.IsValid()) {
        error = LastWindowsErrno();
        return false;
    }
    alignas(8) unsigned char buffer[MAXIMUM_REPARSE_DATA_BUFFER_SIZE];
    DWORD size = 0;
    if (!::DeviceIoControl(link.Get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer, sizeof buffer, &size,
                           nullptr)) {
        error = LastWindowsErrno();
        return false;
    }
    // The reparse data: its tag, then for links the offsets of two names into a table of UTF-16 text
    // (the name to substitute and the one to print), which a symbolic link precedes with its flags.
    const auto field = [&](std::size_t at) {
        std::uint16_t value = 0;
        std::memcpy(&value, buffer + at, sizeof value);
        return value;
    };
    std::uint32_t tag = 0;
    std::memcpy(&tag, buffer, sizeof tag);
    const std::size_t table = tag == IO_REPARSE_TAG_SYMLINK ? 20 : 16;
    const std::size_t printOffset = field(12);
    const std::size_t printLength = field(14);
    if ((tag != IO_REPARSE_TAG_SYMLINK && tag != IO_REPARSE_TAG_MOUNT_POINT) ||
        table + printOffset + printLength > size || printLength == 0) {
        error = EINVAL;
        return false;
    }
    std::wstring name(printLength / sizeof(wchar_t), L'\0');
    std::memcpy(name.data(), buffer + table + printOffset, name.size() * sizeof(wchar_t));
    target = WithoutLongPrefix(name);
    return true;
}

} // namespace

std::string HomeFolder()
{
    if (std::string home = Environment(L"USERPROFILE"); !home.empty())
        return home;
    return KnownFolder(FOLDERID_Profile);
}

std::string ConfigFolder()
{
    // The roaming application data, as %APPDATA% names it; the program's own folder goes inside.
    if (std::string config = Environment(L"APPDATA"); IsAbsolute(config))
        return config;
    return KnownFolder(FOLDERID_RoamingAppData);
}

std::string ProgramSettingsFolder()
{
    const std::string config = ConfigFolder();
    return config.empty() ? std::string() : JoinPath(config, "Turnpost");
}

std::string AbsolutePath(const std::string& path)
{
    const std::wstring wide = Widen(path);
    CHandle file(::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file.IsValid()) {
        std::wstring final(MAX_PATH, L'\0');
        DWORD n = ::GetFinalPathNameByHandleW(file.Get(), final.data(), static_cast<DWORD>(final.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n >= final.size()) {
            final.resize(n);
            n = ::GetFinalPathNameByHandleW(file.Get(), final.data(), static_cast<DWORD>(final.size()),
                                            FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        }
        if (n > 0 && n < final.size()) {
            final.resize(n);
            return WithoutLongPrefix(final);
        }
    }
    if (wide.empty())
        return path;
    const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    const DWORD n = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (n == 0 || n >= needed)
        return path;
    full.resize(n);
    return Narrow(full);
}

bool FollowLinks(std::string& path, int& error)
{
    // A dangling link is followed too: saving creates what it points to.
    for (int hops = 0; hops < 63; ++hops) {
        if (!IsSymbolicLink(path))
            return true;
        std::string target;
        if (!ReadLink(Widen(path), target, error))
            return false;
        path = IsAbsolute(target) ? target : FolderOf(path) + "\\" + target;
    }
    error = ELOOP;
    return false;
}

} // namespace turnpost
