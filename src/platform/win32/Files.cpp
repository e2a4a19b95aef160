#include "platform/Files.h"

#include "platform/Hex.h"
#include "platform/Random.h"
#include "platform/UserFolders.h"
#include "platform/win32/Handle.h"
#include "platform/win32/Wide.h"

#include <aclapi.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <memory>
#include <sddl.h>
#include <vector>

namespace turnpost {

namespace {

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

std::size_t LastSeparator(const std::string& path)
{
    return path.find_last_of("/\\");
}

// The length of a drive prefix ("C:"), which a folder keeps even when no separator follows it.
std::size_t DrivePrefix(const std::string& path)
{
    return path.size() >= 2 && path[1] == ':' && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') ? 2 : 0;
}

bool IsLinkTag(DWORD tag)
{
    // A junction leads elsewhere just as a symbolic link does.
    return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT;
}

// The reparse tag of what stands at path itself, links not followed; 0 when it is no reparse point.
DWORD ReparseTag(const std::wstring& path)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    ::FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? found.dwReserved0 : 0;
}

// Opens what path leads to for its attributes only, which no other holder's sharing can refuse.
HANDLE OpenForAttributes(const std::wstring& path)
{
    return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

struct FileFacts
{
    bool Disk = false; ///< a file or folder on a disk, not a device or a pipe
    BY_HANDLE_FILE_INFORMATION Info{};
    bool IsFolder() const { return Info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY; }
    std::uint64_t Size() const
    {
        return (static_cast<std::uint64_t>(Info.nFileSizeHigh) << 32) | Info.nFileSizeLow;
    }
};

bool Examine(HANDLE handle, FileFacts& facts)
{
    facts.Disk = ::GetFileType(handle) == FILE_TYPE_DISK;
    return !facts.Disk || ::GetFileInformationByHandle(handle, &facts.Info);
}

// Writes into the existing target itself: for a device, or when no file can be made beside it.
WriteResult WriteInPlace(const std::string& path, std::string_view data, bool truncate)
{
    CHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, truncate ? TRUNCATE_EXISTING : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
    if (!file.IsValid())
        return {WriteResult::OpenFailed, LastWindowsErrno()};
    int error = 0;
    if (!WriteAll(file.Get(), data, error))
        return {WriteResult::WriteFailed, error};
    // Only a file on disk can be flushed; a console or a pipe has nothing to put on disk.
    if (::GetFileType(file.Get()) == FILE_TYPE_DISK && !::FlushFileBuffers(file.Get()))
        return {WriteResult::WriteFailed, LastWindowsErrno()};
    if (!::CloseHandle(file.Release()))
        return {WriteResult::WriteFailed, LastWindowsErrno()};
    return {};
}

// Renames source over target the way POSIX does, which Windows 10 allows even while another handle
// holds the target open (one taken for a lock, say) as long as it lets the file be deleted.
bool RenameOverOpenTarget(const std::wstring& source, const std::wstring& target)
{
    const DWORD needed = ::GetFullPathNameW(target.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return false;
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(target.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return false;
    CHandle file(::CreateFileW(source.c_str(), DELETE | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return false;
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + length * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = length * sizeof(wchar_t);
    std::memcpy(rename->FileName, full.data(), length * sizeof(wchar_t));
    // FileRenameInfoEx, which MinGW's headers hide behind a version number of their own.
    constexpr auto RenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
    return ::SetFileInformationByHandle(file.Get(), RenameInfoEx, rename, static_cast<DWORD>(buffer.size()));
}

std::string TemporaryName(const std::string& folder)
{
    unsigned char bytes[8] = {};
    RandomBytes(bytes, sizeof bytes);
    const bool joined = !folder.empty() && (IsSeparator(folder.back()) || folder.back() == ':');
    return folder + (joined ? "" : "\\") + ".turnpost-" + HexText(bytes, sizeof bytes);
}

// The current user's own security identifier, or null when the system does not tell.
std::unique_ptr<unsigned char[]> CurrentUserSid()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return nullptr;
    CHandle owned(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0)
        return nullptr;
    auto buffer = std::make_unique<unsigned char[]>(size);
    if (!::GetTokenInformation(token, TokenUser, buffer.get(), size, &size))
        return nullptr;
    return buffer;
}

// Whoever may change a private file besides its user: the system itself and the administrators,
// who could anyway.
bool IsTrusted(PSID sid, PSID user)
{
    return ::EqualSid(sid, user) || ::IsWellKnownSid(sid, WinLocalSystemSid) ||
           ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

std::string SidText(PSID sid)
{
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text))
        return "another user";
    std::string named = "user " + Narrow(text);
    ::LocalFree(text);
    return named;
}

// What an access list lets others than the user do, in the words of the other systems: empty when
// only he (or the system, or the administrators) may change the file.
std::string WhyNotOwn(const std::wstring& path)
{
    PSID owner = nullptr;
    PACL access = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                                 &owner, nullptr, &access, nullptr, &descriptor);
    if (status != ERROR_SUCCESS)
        return "cannot be examined (" + FileErrorText(ErrnoFromWindowsError(status)) + ")";
    const std::unique_ptr<void, decltype(&::LocalFree)> freed(descriptor, ::LocalFree);
    const auto user = CurrentUserSid();
    if (!user)
        return "cannot be examined (" + FileErrorText(LastWindowsErrno()) + ")";
    const PSID self = reinterpret_cast<TOKEN_USER*>(user.get())->User.Sid;
    if (owner && !IsTrusted(owner, self))
        return "is owned by " + SidText(owner);
    // No access list at all lets everyone do everything.
    if (!access)
        return "is writable by others";
    constexpr ACCESS_MASK Changes =
        FILE_WRITE_DATA | FILE_APPEND_DATA | WRITE_DAC | WRITE_OWNER | DELETE | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; i < access->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(access, i, &entry))
            continue;
        const auto* header = static_cast<ACE_HEADER*>(entry);
        // Entries only handed down to what the folder will hold say nothing about the folder itself.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & Changes) && !IsTrusted(reinterpret_cast<PSID>(&allowed->SidStart), self))
            return "is writable by others";
    }
    return {};
}

} // namespace

std::string FolderOf(const std::string& path)
{
    const std::size_t drive = DrivePrefix(path);
    const auto slash = LastSeparator(path);
    if (slash == std::string::npos)
        return drive ? path.substr(0, drive) : ".";
    // The root keeps its separator: "/" and "C:\" are folders, "C:" is another one.
    return slash == drive ? path.substr(0, slash + 1) : path.substr(0, slash);
}

std::string FileNameOf(const std::string& path)
{
    const auto slash = LastSeparator(path);
    if (slash == std::string::npos)
        return path.substr(DrivePrefix(path));
    return path.substr(slash + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    // "C:\" and "C:" (the drive's current folder) take the name as they are.
    if (!folder.empty() && (IsSeparator(folder.back()) || (folder.size() == 2 && folder[1] == ':')))
        return folder + name;
    return folder + "\\" + name;
}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : m_Handle(other.m_Handle), m_Size(other.m_Size), m_Error(other.m_Error)
{
    other.m_Handle = -1;
}

ReadableFile::~ReadableFile()
{
    if (m_Handle >= 0)
        ::_close(m_Handle);
}

long ReadableFile::Read(void* buffer, std::size_t size)
{
    const int n = ::_read(m_Handle, buffer, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
    if (n < 0)
        m_Error = errno;
    return n;
}

ReadableFile OpenRegularFile(const std::string& path, Links links)
{
    ReadableFile file;
    const std::wstring wide = Widen(path);
    // Folders open too (backup semantics), so that they are told apart as not regular rather than as
    // a refusal. Opening a pipe or a device never waits for its other end.
    const DWORD flags =
        FILE_FLAG_BACKUP_SEMANTICS | (links == Links::Refuse ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    CHandle handle(::CreateFileW(wide.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, flags, nullptr));
    if (!handle.IsValid()) {
        file.m_Error = LastWindowsErrno();
        return file;
    }
    FileFacts facts;
    if (!Examine(handle.Get(), facts)) {
        file.m_Error = LastWindowsErrno();
        return file;
    }
    if (links == Links::Refuse && (facts.Info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!::GetFileInformationByHandleEx(handle.Get(), FileAttributeTagInfo, &tag, sizeof tag)) {
            file.m_Error = LastWindowsErrno();
            return file;
        }
        if (IsLinkTag(tag.ReparseTag)) {
            file.m_Error = ELOOP;
            return file;
        }
        // Another kind of reparse point (a placeholder of a cloud folder, say) is the file itself.
        CHandle followed(::CreateFileW(wide.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!followed.IsValid() || !Examine(followed.Get(), facts)) {
            file.m_Error = LastWindowsErrno();
            return file;
        }
        handle.Reset(followed.Release());
    }
    if (!facts.Disk || facts.IsFolder()) {
        file.m_Error = NotRegularFileError;
        return file;
    }
    int error = 0;
    const int fd = DescriptorOf(handle.Release(), _O_RDONLY | _O_BINARY, error);
    if (fd < 0) {
        file.m_Error = error;
        return file;
    }
    file.m_Handle = fd;
    file.m_Size = facts.Size();
    return file;
}

std::optional<std::uint64_t> FileSize(const std::string& path)
{
    CHandle handle(OpenForAttributes(Widen(path)));
    FileFacts facts;
    if (!handle.IsValid() || !Examine(handle.Get(), facts) || !facts.Disk || facts.IsFolder())
        return std::nullopt;
    return facts.Size();
}

bool FileExists(const std::string& path)
{
    return !path.empty() && CHandle(OpenForAttributes(Widen(path))).IsValid();
}

WriteResult WriteFileAtomically(const std::string& requestedPath, std::string_view data,
                                SpecialTarget special, unsigned newFileMode)
{
    // Windows has no permission bits to give a new file: it takes its folder's access rules.
    (void)newFileMode;
    if (requestedPath.empty())
        return {WriteResult::OpenFailed, ENOENT};
    // Saving through a symbolic link writes the file it points to; renaming over the link itself would
    // turn it into a plain file and leave the real one behind.
    std::string path = requestedPath;
    int error = 0;
    if (!FollowLinks(path, error))
        return {WriteResult::OpenFailed, error};
    const std::wstring wide = Widen(path);

    FileFacts old;
    bool exists = false;
    {
        CHandle handle(OpenForAttributes(wide));
        exists = handle.IsValid();
        if (!exists && LastWindowsErrno() != ENOENT)
            return {WriteResult::OpenFailed, LastWindowsErrno()};
        if (exists && !Examine(handle.Get(), old))
            return {WriteResult::OpenFailed, LastWindowsErrno()};
    }
    if (exists && old.IsFolder())
        return {WriteResult::OpenFailed, EISDIR};
    if (exists && !old.Disk) {
        if (special == SpecialTarget::Refuse)
            return {WriteResult::OpenFailed, NotRegularFileError};
        return WriteInPlace(path, data, false);
    }
    // A file the user could not open for writing is not his to replace either.
    if (exists && (old.Info.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
        return {WriteResult::OpenFailed, EACCES};
    if (exists) {
        CHandle probe(::CreateFileW(wide.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!probe.IsValid())
            return {WriteResult::OpenFailed, LastWindowsErrno()};
    }

    const std::string folder = FolderOf(path);
    std::wstring temp;
    CHandle file;
    for (int attempt = 0; attempt < 16 && !file.IsValid(); ++attempt) {
        temp = Widen(TemporaryName(folder));
        file.Reset(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
        if (!file.IsValid() && ::GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (!file.IsValid()) {
        error = LastWindowsErrno();
        // No temporary file can be made beside it: the target is written in place.
        if (exists && error == EACCES)
            return WriteInPlace(path, data, true);
        return {WriteResult::OpenFailed, error};
    }
    if (!WriteAll(file.Get(), data, error) || !::FlushFileBuffers(file.Get())) {
        if (error == 0)
            error = LastWindowsErrno();
        ::CloseHandle(file.Release());
        ::DeleteFileW(temp.c_str());
        return {WriteResult::WriteFailed, error};
    }
    if (!::CloseHandle(file.Release())) {
        error = LastWindowsErrno();
        ::DeleteFileW(temp.c_str());
        return {WriteResult::WriteFailed, error};
    }
    if (exists) {
        // What the user can see of the old file's attributes stays with its replacement.
        const DWORD kept = old.Info.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                                        FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        if (kept)
            ::SetFileAttributesW(temp.c_str(), kept);
    }
    // A reader holding the target (a virus scanner, an editor) refuses the rename for a moment; a
    // few tries let it let go.
    BOOL moved = FALSE;
    for (int attempt = 0; attempt < 10; ++attempt) {
        moved = ::MoveFileExW(temp.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        DWORD cause = moved ? ERROR_SUCCESS : ::GetLastError();
        if (!moved && cause == ERROR_ACCESS_DENIED) {
            moved = RenameOverOpenTarget(temp, wide);
            if (!moved)
                ::SetLastError(cause);
        }
        if (moved || (cause != ERROR_SHARING_VIOLATION && cause != ERROR_ACCESS_DENIED))
            break;
        ::Sleep(20);
    }
    if (!moved) {
        error = LastWindowsErrno();
        ::DeleteFileW(temp.c_str());
        // A target we may not replace was never opened for writing.
        return {error == EACCES || error == EISDIR || error == EROFS ? WriteResult::OpenFailed
                                                                     : WriteResult::WriteFailed,
                error};
    }
    return {};
}

std::string WhyNotPrivate(const std::string& path, PrivateKind kind, bool* missing)
{
    if (missing)
        *missing = false;
    const std::wstring wide = Widen(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const int error = LastWindowsErrno();
        if (error == ENOENT) {
            if (missing)
                *missing = true;
            return {};
        }
        return "cannot be examined (" + FileErrorText(error) + ")";
    }
    // A link could be turned to somewhere else by whoever may write the folder it points into.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(ReparseTag(wide)))
        return "is a symbolic link";
    const bool folder = attributes & FILE_ATTRIBUTE_DIRECTORY;
    if (kind == PrivateKind::Folder && !folder)
        return "is not a folder";
    if (kind == PrivateKind::File && folder)
        return "is not a regular file";
    return WhyNotOwn(wide);
}

bool MakePrivateFolder(const std::string& path, int& error)
{
    // A folder made in the user's profile takes its access rules, which give it to him alone.
    if (::CreateDirectoryW(Widen(path).c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    error = LastWindowsErrno();
    return false;
}

bool MakeRealFolder(const std::string& path, int& error)
{
    const std::wstring wide = Widen(path);
    if (::CreateDirectoryW(wide.c_str(), nullptr))
        return true;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
        error = LastWindowsErrno();
        return false;
    }
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = LastWindowsErrno();
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(ReparseTag(wide))) {
        error = ELOOP;
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return true;
    error = ENOTDIR;
    return false;
}

bool IsSymbolicLink(const std::string& path)
{
    const std::wstring wide = Widen(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           IsLinkTag(ReparseTag(wide));
}

} // namespace turnpost
