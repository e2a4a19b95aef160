#include "collect/ImapMailbox.h"

#include "collect/ImapFolder.h"
#include "collect/ImapResponse.h"
#include "collect/ImapServer.h"

#include <cstdlib>
#include <curl/curl.h>
#include <mutex>
#include <optional>

namespace turnpost {

namespace {

// Answers to commands other than a fetch are a few lines per message at most.
constexpr std::size_t MaxAnswerBytes = 16u << 20;

void StartCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

} // namespace

struct CImapMailbox::Session
{
    ImapSettings Settings;
    ImapServer Server;
    std::string SettingsError;
    CURL* Handle = nullptr;
    std::optional<ImapCapabilities> Offered;
    std::optional<char> Separator;

    // What the exchange under way has gathered.
    std::string Data;
    std::size_t Limit = 0;
    bool OverLimit = false;
    std::string LastLine;
    char CurlText[CURL_ERROR_SIZE] = {};

    struct Exchange
    {
        CURLcode Code = CURLE_OK;
        std::string Data;
    };

    ~Session()
    {
        if (Handle != nullptr)
            curl_easy_cleanup(Handle); // says LOGOUT on an open connection
    }

    static std::size_t OnWrite(char* bytes, std::size_t size, std::size_t count, void* self)
    {
        auto& session = *static_cast<Session*>(self);
        const std::size_t length = size * count;
        if (length > session.Limit - session.Data.size()) {
            session.OverLimit = true;
            return 0; // stops the transfer
        }
        session.Data.append(bytes, length);
        return length;
    }

    // Keeps the last line the server sent outside a message, for the reason of a refusal; libcurl
    // reports only that a command failed.
    static int OnDebug(CURL*, curl_infotype type, char* bytes, std::size_t size, void* self)
    {
        if (type == CURLINFO_HEADER_IN)
            static_cast<Session*>(self)->LastLine.assign(bytes, std::min<std::size_t>(size, 1000));
        return 0;
    }

    bool Open(std::string& error)
    {
        if (Handle != nullptr)
            return true;
        StartCurl();
        Handle = curl_easy_init();
        if (Handle == nullptr) {
            error = "libcurl could not be started";
            return false;
        }
        const long timeout = Settings.TimeoutSeconds;
        curl_easy_setopt(Handle, CURLOPT_PROTOCOLS_STR, "imap,imaps");
        curl_easy_setopt(Handle, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(Handle, CURLOPT_ERRORBUFFER, CurlText);
        curl_easy_setopt(Handle, CURLOPT_WRITEFUNCTION, &Session::OnWrite);
        curl_easy_setopt(Handle, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(Handle, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(Handle, CURLOPT_DEBUGFUNCTION, &Session::OnDebug);
        curl_easy_setopt(Handle, CURLOPT_DEBUGDATA, this);
        curl_easy_setopt(Handle, CURLOPT_CONNECTTIMEOUT, timeout);
        curl_easy_setopt(Handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
        // A server that stalls in the middle of a message is given up after the same time.
        curl_easy_setopt(Handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(Handle, CURLOPT_LOW_SPEED_TIME, timeout);
        curl_easy_setopt(Handle, CURLOPT_USE_SSL,
                         Settings.Security == ImapSecurity::StartTls ? static_cast<long>(CURLUSESSL_ALL)
                                                                     : static_cast<long>(CURLUSESSL_NONE));
        curl_easy_setopt(Handle, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
        curl_easy_setopt(Handle, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(Handle, CURLOPT_SSL_VERIFYHOST, 2L);
        // The same store the SMTP side trusts: OpenSSL's defaults, or what these name instead.
        if (const std::string file = Environment("SSL_CERT_FILE"); !file.empty())
            curl_easy_setopt(Handle, CURLOPT_CAINFO, file.c_str());
        if (const std::string dir = Environment("SSL_CERT_DIR"); !dir.empty())
            curl_easy_setopt(Handle, CURLOPT_CAPATH, dir.c_str());
        curl_easy_setopt(Handle, CURLOPT_USERNAME, Settings.User.c_str());
        if (Settings.Login == ImapLogin::OAuth2)
            curl_easy_setopt(Handle, CURLOPT_XOAUTH2_BEARER, Settings.Secret.c_str());
        else
            curl_easy_setopt(Handle, CURLOPT_PASSWORD, Settings.Secret.c_str());
        return true;
    }

    std::string BaseUrl() const { return Server.Url(Settings.Security) + "/"; }

    /// One command: command empty fetches what the URL names (";UID=n"), else the command runs on the
    /// folder the URL names, or outside any folder.
    Exchange Run(const std::string& url, const std::string& command, std::size_t limit)
    {
        Data.clear();
        Limit = limit;
        OverLimit = false;
        LastLine.clear();
        CurlText[0] = '\0';
        curl_easy_setopt(Handle, CURLOPT_URL, url.c_str());
        curl_easy_setopt(Handle, CURLOPT_CUSTOMREQUEST, command.empty() ? nullptr : command.c_str());
        // A command's answer is short: a server that trickles it out forever is given up. A message may
        // take long on a slow line, as long as it keeps coming.
        curl_easy_setopt(Handle, CURLOPT_TIMEOUT, command.empty() ? 0L : 4L * Settings.TimeoutSeconds);
        Exchange exchange;
        exchange.Code = curl_easy_perform(Handle);
        exchange.Data = std::move(Data);
        return exchange;
    }

    /// The reason an exchange failed, in words; what names the command for a refusal.
    std::string Describe(const Exchange& exchange, const std::string& what) const
    {
        const std::string where = Server.Host + ":" + std::to_string(Server.Port);
        const std::string curlText = CurlText[0] != '\0' ? CurlText : curl_easy_strerror(exchange.Code);
        const std::string serverText = StatusText(LastLine);
        const auto withServer = [&](std::string text) {
            return serverText.empty() ? text : text + ": " + serverText;
        };
        switch (exchange.Code) {
        case CURLE_LOGIN_DENIED:
            // libcurl gives the same code when a folder cannot be opened.
            if (std::string_view(CurlText).starts_with("Select failed"))
                return withServer("the server refused to open the folder for " + what);
            return withServer("the server refused the login");
        case CURLE_PEER_FAILED_VERIFICATION:
            return "the certificate of " + Server.Host + " was not accepted: " + curlText;
        case CURLE_SSL_CACERT_BADFILE:
            return "the trusted certificates could not be read: " + curlText;
        case CURLE_USE_SSL_FAILED:
            return withServer("the server at " + where + " does not offer STARTTLS");
        case CURLE_SSL_CONNECT_ERROR:
            return "the TLS handshake with " + where + " failed: " + curlText;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
            return "could not connect to " + where + ": " + curlText;
        case CURLE_OPERATION_TIMEDOUT:
            return "the server at " + where + " did not answer within " +
                   std::to_string(Settings.TimeoutSeconds) +
                   (Settings.TimeoutSeconds == 1 ? " second" : " seconds");
        case CURLE_QUOTE_ERROR:
            return withServer("the server refused " + what);
        case CURLE_WRITE_ERROR:
            if (OverLimit)
                return "the answer to " + what + " is larger than " + std::to_string(Limit) + " bytes";
            break;
        default:
            break;
        }
        return "the connection to " + where + " failed during " + what + ": " + curlText;
    }

    // Checks the settings and readies the handle; the error when the operation cannot start.
    std::optional<std::string> Ready()
    {
        if (!SettingsError.empty())
            return SettingsError;
        std::string error;
        if (!Open(error))
            return error;
        return std::nullopt;
    }

    ImapCapabilities Capabilities()
    {
        ImapCapabilities result;
        if (Offered)
            return *Offered;
        if (const auto error = Ready()) {
            result.Error = *error;
            return result;
        }
        const Exchange exchange = Run(BaseUrl(), "CAPABILITY", MaxAnswerBytes);
        if (exchange.Code != CURLE_OK) {
            result.Error = Describe(exchange, "CAPABILITY");
            return result;
        }
        result.Names = ParseCapabilities(exchange.Data);
        for (const std::string& name : result.Names) {
            result.Move = result.Move || name == "MOVE";
            result.UidPlus = result.UidPlus || name == "UIDPLUS";
        }
        result.Ok = true;
        Offered = result;
        return result;
    }

    ImapSeparator HierarchySeparator()
    {
        ImapSeparator result;
        if (Separator) {
            result.Ok = true;
            result.Separator = *Separator;
            return result;
        }
        if (const auto error = Ready()) {
            result.Error = *error;
            return result;
        }
        const Exchange exchange = Run(BaseUrl(), "LIST \"\" \"\"", MaxAnswerBytes);
        if (exchange.Code != CURLE_OK) {
            result.Error = Describe(exchange, "LIST");
            return result;
        }
        const auto separator = ParseListSeparator(exchange.Data);
        if (!separator) {
            result.Error = "the server did not say which character separates its folder levels";
            return result;
        }
        Separator = separator;
        result.Ok = true;
        result.Separator = *separator;
        return result;
    }

    // The folder in the server's form, or the reason it has none.
    ImapFolder Folder(const std::string& name)
    {
        const ImapSeparator separator = HierarchySeparator();
        if (!separator.Ok) {
            ImapFolder folder;
            folder.Error = separator.Error;
            return folder;
        }
        return MakeImapFolder(name, separator.Separator);
    }
};

CImapMailbox::CImapMailbox(ImapSettings settings) : m_Session(std::make_unique<Session>())
{
    m_Session->Settings = std::move(settings);
    m_Session->Server = ParseImapServer(m_Session->Settings.Server, m_Session->Settings.Security);
    m_Session->SettingsError = CheckImapSettings(m_Session->Settings, m_Session->Server);
}

CImapMailbox::~CImapMailbox() = default;

const std::string& CImapMailbox::SettingsError() const
{
    return m_Session->SettingsError;
}

ImapCapabilities CImapMailbox::Capabilities()
{
    return m_Session->Capabilities();
}

ImapSeparator CImapMailbox::HierarchySeparator()
{
    return m_Session->HierarchySeparator();
}

ImapResult CImapMailbox::CreateFolder(const std::string& name)
{
    ImapResult result;
    Session& session = *m_Session;
    const ImapFolder folder = session.Folder(name);
    if (!folder.Ok) {
        result.Error = folder.Error;
        return result;
    }
    const auto list = session.Run(session.BaseUrl(), "LIST \"\" " + folder.Quoted(), MaxAnswerBytes);
    if (list.Code != CURLE_OK) {
        result.Error = session.Describe(list, "LIST of " + folder.Quoted());
        return result;
    }
    if (!ListNamesFolder(list.Data)) {
        const auto create = session.Run(session.BaseUrl(), "CREATE " + folder.Quoted(), MaxAnswerBytes);
        if (create.Code != CURLE_OK) {
            result.Error = session.Describe(create, "CREATE " + folder.Quoted());
            return result;
        }
    }
    result.Ok = true;
    return result;
}

ImapUids CImapMailbox::ListUids(const std::string& name)
{
    ImapUids result;
    Session& session = *m_Session;
    const ImapFolder folder = session.Folder(name);
    if (!folder.Ok) {
        result.Error = folder.Error;
        return result;
    }
    const std::string what = "UID SEARCH in " + folder.Quoted();
    const auto search =
        session.Run(session.BaseUrl() + FolderUrlPath(folder.Name), "UID SEARCH ALL", MaxAnswerBytes);
    if (search.Code != CURLE_OK) {
        result.Error = session.Describe(search, what);
        return result;
    }
    auto uids = ParseSearchUids(search.Data);
    if (!uids) {
        result.Error = "the server's answer to " + what + " holds what is not a UID";
        return result;
    }
    result.Uids = std::move(*uids);
    result.Ok = true;
    return result;
}

ImapMessage CImapMailbox::Fetch(const std::string& name, std::uint32_t uid)
{
    ImapMessage result;
    Session& session = *m_Session;
    const ImapFolder folder = session.Folder(name);
    if (!folder.Ok) {
        result.Error = folder.Error;
        return result;
    }
    const std::string number = std::to_string(uid);
    const std::string url = session.BaseUrl() + FolderUrlPath(folder.Name);
    const std::string what = "message " + number + " in " + folder.Quoted();
    if (uid == 0) {
        result.Error = "there is no " + what + ": UIDs start at 1";
        return result;
    }

    // libcurl keeps the body of a FETCH only for its own UID FETCH ... BODY[], which marks the message
    // read; its flag is noted first and put back after, so the message stays as the player left it.
    const auto flags = session.Run(url, "UID FETCH " + number + " (FLAGS)", MaxAnswerBytes);
    if (flags.Code != CURLE_OK) {
        result.Error = session.Describe(flags, "the flags of " + what);
        return result;
    }
    const auto seen = ParseSeenFlag(flags.Data, uid);
    if (!seen) {
        result.Error = "there is no " + what;
        return result;
    }
    const auto body = session.Run(url + ";UID=" + number, "", session.Settings.MaxMessageBytes);
    if (body.Code != CURLE_OK) {
        if (body.Code == CURLE_REMOTE_FILE_NOT_FOUND)
            result.Error = "there is no " + what;
        else if (body.Code == CURLE_WRITE_ERROR && session.OverLimit)
            result.Error =
                what + " is larger than " + std::to_string(session.Settings.MaxMessageBytes) + " bytes";
        else
            result.Error = session.Describe(body, "the fetch of " + what);
        return result;
    }
    if (!*seen) {
        const auto unseen =
            session.Run(url, "UID STORE " + number + " -FLAGS.SILENT (\\Seen)", MaxAnswerBytes);
        if (unseen.Code != CURLE_OK) {
            result.Error = session.Describe(unseen, "marking " + what + " unread again");
            return result;
        }
    }
    result.Bytes = std::move(body.Data);
    result.Ok = true;
    return result;
}

ImapResult CImapMailbox::Move(const std::string& name, std::uint32_t uid, const std::string& targetName)
{
    ImapResult result;
    Session& session = *m_Session;
    const ImapFolder folder = session.Folder(name);
    const ImapFolder target = folder.Ok ? session.Folder(targetName) : folder;
    if (!target.Ok) {
        result.Error = target.Error;
        return result;
    }
    if (uid == 0) {
        result.Error = "there is no message 0: UIDs start at 1";
        return result;
    }
    const ImapCapabilities offered = session.Capabilities();
    if (!offered.Ok) {
        result.Error = offered.Error;
        return result;
    }
    const std::string number = std::to_string(uid);
    const std::string url = session.BaseUrl() + FolderUrlPath(folder.Name);
    std::vector<std::string> commands;
    if (offered.Move)
        commands = {"UID MOVE " + number + " " + target.Quoted()};
    else if (!offered.UidPlus) {
        result.Error = "the server offers neither MOVE nor UIDPLUS, so message " + number +
                       " cannot be moved without removing other deleted messages";
        return result;
    } else
        commands = {"UID COPY " + number + " " + target.Quoted(),
                    "UID STORE " + number + " +FLAGS.SILENT (\\Deleted)", "UID EXPUNGE " + number};
    for (const std::string& command : commands) {
        const auto exchange = session.Run(url, command, MaxAnswerBytes);
        if (exchange.Code != CURLE_OK) {
            result.Error = session.Describe(exchange, command.substr(0, command.find(' ', 4)) +
                                                          " of message " + number + " in " + folder.Quoted());
            return result;
        }
    }
    result.Ok = true;
    return result;
}

} // namespace turnpost
