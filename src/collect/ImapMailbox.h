#pragma once

#include "collect/ImapSettings.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace turnpost {

/// How an operation on the mailbox ended: Error says why in words when Ok is false.
struct ImapResult
{
    bool Ok = false;
    std::string Error;
};

struct ImapCapabilities : ImapResult
{
    std::vector<std::string> Names; ///< upper-cased
    bool Move = false;              ///< RFC 6851 UID MOVE
    bool UidPlus = false;           ///< RFC 4315 UID EXPUNGE
};

struct ImapSeparator : ImapResult
{
    char Separator = '\0'; ///< '\0' when the server's folder names are flat
};

struct ImapUids : ImapResult
{
    std::vector<std::uint32_t> Uids; ///< ascending
};

struct ImapMessage : ImapResult
{
    std::string Bytes; ///< the whole message as stored
};

/// One mailbox on an IMAP server, reached over one connection that its operations share (libcurl
/// keeps it open between them). Folder names are the setup's, with '/' between levels. Nothing that
/// comes from the server or a message is ever written into a command: UIDs travel as numbers and
/// folder names are checked and quoted.
class CImapMailbox
{
public:
    explicit CImapMailbox(ImapSettings settings);
    ~CImapMailbox();
    CImapMailbox(const CImapMailbox&) = delete;
    CImapMailbox& operator=(const CImapMailbox&) = delete;

    /// What is wrong with the settings before anything connects (a plain-text login beyond this
    /// machine, a server that is not host:port); empty when they may be used.
    const std::string& SettingsError() const;

    /// What the server offers once logged in; asked once per connection.
    ImapCapabilities Capabilities();
    /// The server's hierarchy separator (LIST "" "").
    ImapSeparator HierarchySeparator();
    /// Creates the folder unless it exists.
    ImapResult CreateFolder(const std::string& folder);
    /// The UIDs of every message in the folder.
    ImapUids ListUids(const std::string& folder);
    /// The message whole, left unread.
    ImapMessage Fetch(const std::string& folder, std::uint32_t uid);
    /// Moves one message: UID MOVE where offered, else UID COPY, \Deleted and UID EXPUNGE of that UID
    /// alone. A server without UIDPLUS is refused rather than expunge messages that are not ours.
    ImapResult Move(const std::string& folder, std::uint32_t uid, const std::string& target);

private:
    struct Session;
    std::unique_ptr<Session> m_Session;
};

} // namespace turnpost
