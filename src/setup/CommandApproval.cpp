#include "setup/CommandApproval.h"

#include "platform/Digest.h"
#include "platform/FileLock.h"
#include "platform/Files.h"
#include "platform/SmtpOptions.h"
#include "platform/UserFolders.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace turnpost {

namespace {

// The parts are joined by a zero byte, which none can hold, so no other set of parts hashes the same
// text.
std::string ApprovalKey(const std::string& setupPath, const std::string& command, const SecretDestination& to)
{
    std::string joined = AbsolutePath(setupPath);
    for (const std::string* part : {&command, &to.Server, &to.Security, &to.User})
        joined += '\0' + *part;
    return Sha256Hex(joined);
}

/// Why the approvals in the folder and file cannot be trusted, or empty: anyone else who could write
/// them could approve his own command.
std::string StoreProblem(const std::string& file, bool& folderMissing)
{
    const auto untrusted = [](const std::string& path, const std::string& problem) {
        return path + " " + problem + ", so the approvals kept there cannot be trusted";
    };
    const std::string folder = FolderOf(file);
    if (const std::string problem = WhyNotPrivate(folder, PrivateKind::Folder, &folderMissing);
        !problem.empty())
        return untrusted(folder, problem);
    if (folderMissing)
        return {};
    if (const std::string problem = WhyNotPrivate(file, PrivateKind::File); !problem.empty())
        return untrusted(file, problem);
    return {};
}

bool HasLine(const std::string& text, const std::string& line)
{
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        if (text.compare(at, end - at, line) == 0)
            return true;
        at = end + 1;
    }
    return false;
}

std::string Escaped(const char* format, unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

/// Characters that show as nothing or change how the text around them is laid out.
bool IsHiding(std::uint32_t c)
{
    return (c >= 0x80 && c <= 0x9F) || c == 0xAD || c == 0x061C || c == 0x180E ||
           (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x2069) ||
           c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB);
}

/// Length of the well-formed UTF-8 sequence at text[at] and its code point; 0 when it is not one.
std::size_t DecodeUtf8(std::string_view text, std::size_t at, std::uint32_t& c)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(at + i) & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

std::string ApprovalFilePath()
{
    const std::string folder = ProgramSettingsFolder();
    return folder.empty() ? std::string() : JoinPath(folder, "approved-commands");
}

SecretDestination SmtpDestination(const GameSetup& setup)
{
    return {setup.SmtpServer, SecurityName(setup.SmtpSecurity), setup.SmtpUser};
}

SecretDestination CollectDestination(const GameSetup& setup)
{
    return {setup.CollectServer, "IMAP " + SecurityName(setup.CollectSecurity), setup.CollectUser};
}

SecretDestination GenerationDestination()
{
    return {"turn generation", "", ""};
}

std::string DestinationText(const SecretDestination& to)
{
    if (to == GenerationDestination())
        return to.Server;
    return to.User + " at " + to.Server + " (" + to.Security + ")";
}

ApprovalLookup LookUpApproval(const std::string& setupPath, const std::string& command,
                              const SecretDestination& to)
{
    ApprovalLookup lookup;
    const std::string file = ApprovalFilePath();
    if (file.empty())
        return lookup;
    bool folderMissing = false;
    lookup.Error = StoreProblem(file, folderMissing);
    std::string approvals;
    if (!lookup.Error.empty() || folderMissing || !ReadWholeFile(file, approvals))
        return lookup;
    lookup.Approved = HasLine(approvals, ApprovalKey(setupPath, command, to));
    return lookup;
}

bool IsCommandApproved(const std::string& setupPath, const std::string& command, const SecretDestination& to)
{
    return LookUpApproval(setupPath, command, to).Approved;
}

bool ApproveCommand(const std::string& setupPath, const std::string& command, const SecretDestination& to,
                    std::string& error)
{
    const std::string file = ApprovalFilePath();
    if (file.empty()) {
        error = "no home folder to keep the approval in";
        return false;
    }
    // The folders are made for this user alone; existing ones are left as the user set them.
    const std::string turnpostFolder = FolderOf(file);
    const std::string configFolder = FolderOf(turnpostFolder);
    for (const std::string& folder : {configFolder, turnpostFolder}) {
        if (int cause = 0; !MakePrivateFolder(folder, cause)) {
            error = "Could not make " + folder + ": " + FileErrorText(cause);
            return false;
        }
    }
    bool folderMissing = false;
    if (error = StoreProblem(file, folderMissing); !error.empty())
        return false;
    // Runs that approve at the same time each read and rewrite the whole file: one at a time, or the
    // later rewrite drops the earlier approval.
    const std::string lockPath = file + ".lock";
    CFileLock lock;
    if (int cause = 0; lock.Lock(lockPath, &cause) != CFileLock::Result::Locked) {
        error = "Could not lock " + lockPath + ": " + FileErrorText(cause);
        return false;
    }
    std::string approvals;
    ReadWholeFile(file, approvals);
    const std::string key = ApprovalKey(setupPath, command, to);
    if (HasLine(approvals, key))
        return true;
    if (!approvals.empty() && approvals.back() != '\n')
        approvals += '\n';
    approvals += key + '\n';
    const WriteResult written = WriteFileAtomically(file, approvals, SpecialTarget::Refuse, 0600);
    if (!written.Ok()) {
        error = WriteErrorMessage(written.Error, file);
        return false;
    }
    return true;
}

std::string VisibleCommand(std::string_view command)
{
    std::string visible;
    for (std::size_t at = 0; at < command.size();) {
        const unsigned char byte = static_cast<unsigned char>(command[at]);
        if (byte == '\n') {
            visible += "\u23CE\n";
        } else if (byte == '\t') {
            visible += "\\t";
        } else if (byte == '\r') {
            visible += "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            visible += Escaped("\\x%02x", byte);
        } else if (byte >= 0x80) {
            std::uint32_t c = 0;
            const std::size_t length = DecodeUtf8(command, at, c);
            if (length == 0) {
                visible += Escaped("\\x%02x", byte);
            } else {
                visible += IsHiding(c) ? Escaped("\\u%04x", c) : std::string(command.substr(at, length));
                at += length;
                continue;
            }
        } else {
            visible += static_cast<char>(byte);
        }
        ++at;
    }
    return visible;
}

std::size_t CommandLineCount(std::string_view command)
{
    std::size_t lines = 1;
    for (const char c : command)
        lines += c == '\n' ? 1 : 0;
    return lines;
}

} // namespace turnpost
