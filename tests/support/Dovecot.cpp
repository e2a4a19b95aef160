#include "support/Dovecot.h"

#include "support/CommandOutput.h"
#include "support/LoopbackPort.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <grp.h>
#include <memory>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace turnpost::test {

namespace {

constexpr const char* DovecotProgram = "/usr/sbin/dovecot";
constexpr const char* DoveadmProgram = "/usr/bin/doveadm";

bool Accepts(const char* host, std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, host, &address.sin_addr);
    address.sin_port = htons(port);
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

Dovecot& Dovecot::Shared()
{
    // Made on first use and stopped when the test program ends.
    static const std::unique_ptr<Dovecot> server = std::make_unique<Dovecot>();
    return *server;
}

Dovecot::Dovecot()
{
    if (!m_Certificates.IsValid())
        m_Error = "the test certificates could not be made: " + m_Certificates.Error();
    else if (::access(DovecotProgram, X_OK) != 0 || ::access(DoveadmProgram, X_OK) != 0)
        m_Error = "Dovecot is not installed (Debian packages dovecot-core and dovecot-imapd)";
    else
        Start();
}

Dovecot::~Dovecot()
{
    if (m_Pid > 0) {
        ::kill(m_Pid, SIGTERM);
        int status = 0;
        ::waitpid(m_Pid, &status, 0);
    }
}

bool Dovecot::Start()
{
    namespace fs = std::filesystem;
    // The mail belongs to an unprivileged user: the current one, or nobody when the tests run as root
    // (Dovecot gives no mail access as root). Dovecot's own processes run as the same user.
    const bool root = ::geteuid() == 0;
    const passwd* account = root ? ::getpwnam("nobody") : ::getpwuid(::geteuid());
    if (account == nullptr) {
        m_Error = "no unprivileged user to run Dovecot as";
        return false;
    }
    const std::string userName = account->pw_name;
    const group* primary = ::getgrgid(account->pw_gid);
    const std::string groupName = primary != nullptr ? primary->gr_name : userName;
    const std::string base = m_Dir.Path();
    for (const char* folder : {"run", "state", "mail"})
        fs::create_directories(base + "/" + folder);
    fs::permissions(base, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(base + "/mail", fs::perms::all);
    // Every user is written before Dovecot starts: it reads the file again only when its time stamp
    // changes, which two tests within one second would not do.
    std::string users;
    for (int i = 1; i <= MaxUsers; ++i) {
        const std::string name = "player" + std::to_string(i);
        users += name + ":{PLAIN}" + Password(name) + ":" + std::to_string(account->pw_uid) + ":" +
                 std::to_string(account->pw_gid) + "::" + base + "/mail/" + name + "\n";
    }
    m_Dir.Write("passwd", users);
    fs::permissions(m_Dir.File("passwd"), fs::perms::owner_read | fs::perms::owner_write |
                                              fs::perms::group_read | fs::perms::others_read);

    m_StartTlsPort = FreeLoopbackPort();
    m_ImplicitTlsPort = FreeLoopbackPort();
    // Written as Dovecot reads it; @NAME@ stands for the values of this run.
    std::string config = R"(base_dir = @BASE@/run
state_dir = @BASE@/state
log_path = @BASE@/dovecot.log
protocols = imap
listen = 127.0.0.1
ssl = yes
ssl_cert = <@CERT@
ssl_key = <@KEY@
disable_plaintext_auth = yes
# Plain-text logins from every loopback address, not only where client and server addresses agree.
login_trusted_networks = 127.0.0.0/8
# The bearer mechanisms check the token as a password: enough to see which one a client used.
auth_mechanisms = plain login oauthbearer xoauth2
mail_location = maildir:~/Maildir
first_valid_uid = 1
default_internal_user = @USER@
default_login_user = @USER@
# Dovecot gives its sockets to this group, which a user who is not root must belong to.
default_internal_group = @GROUP@
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u @BASE@/passwd
}
userdb {
  driver = passwd-file
  args = username_format=%u @BASE@/passwd
}
# No chroot: that needs a system install.
service imap-login {
  chroot =
  inet_listener imap {
    address = @ADDRESSES@
    port = @STARTTLS_PORT@
  }
  inet_listener imaps {
    address = @ADDRESSES@
    port = @TLS_PORT@
    ssl = yes
  }
}
service anvil {
  chroot =
}
service stats {
  inet_listener http {
    port = 0
  }
}
local @WRONG_NAME@ {
  ssl_cert = <@OTHER_CERT@
  ssl_key = <@OTHER_KEY@
}
local @NO_MOVE@ {
  protocol imap {
    imap_capability = IMAP4rev1 LITERAL+ SASL-IR ID ENABLE IDLE NAMESPACE UIDPLUS
  }
}
)";
    const std::pair<const char*, std::string> values[] = {
        {"@BASE@", base},
        {"@CERT@", m_Certificates.LocalCertificate()},
        {"@KEY@", m_Certificates.LocalKey()},
        {"@USER@", userName},
        {"@GROUP@", groupName},
        {"@ADDRESSES@", std::string("127.0.0.1 ") + WrongNameAddress + " " + NoMoveAddress},
        {"@STARTTLS_PORT@", std::to_string(m_StartTlsPort)},
        {"@TLS_PORT@", std::to_string(m_ImplicitTlsPort)},
        {"@WRONG_NAME@", WrongNameAddress},
        {"@OTHER_CERT@", m_Certificates.OtherCertificate()},
        {"@OTHER_KEY@", m_Certificates.OtherKey()},
        {"@NO_MOVE@", NoMoveAddress},
    };
    for (const auto& [name, value] : values)
        for (std::size_t at = config.find(name); at != std::string::npos;
             at = config.find(name, at + value.size()))
            config.replace(at, std::strlen(name), value);
    const std::string configFile = m_Dir.Write("dovecot.conf", config);

    const pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        ::execl(DovecotProgram, DovecotProgram, "-F", "-c", configFile.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (pid < 0) {
        m_Error = "fork failed";
        return false;
    }
    m_Pid = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!Accepts(NoMoveAddress, m_ImplicitTlsPort) || !Accepts("127.0.0.1", m_StartTlsPort)) {
        int status = 0;
        if (::waitpid(m_Pid, &status, WNOHANG) == m_Pid || std::chrono::steady_clock::now() > deadline) {
            m_Error = "Dovecot did not start: " + ReadFileBytes(base + "/dovecot.log");
            ::kill(m_Pid, SIGKILL);
            ::waitpid(m_Pid, &status, 0);
            m_Pid = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string Dovecot::NewUser()
{
    if (m_Users == MaxUsers)
        return "no-more-users";
    return "player" + std::to_string(++m_Users);
}

bool Dovecot::Save(const std::string& user, const std::string& folder, const std::string& message)
{
    const std::string file = m_Dir.Write("message.eml", message);
    std::filesystem::permissions(file, std::filesystem::perms::all);
    const std::string command = std::string(DoveadmProgram) + " -c " + Quoted(m_Dir.File("dovecot.conf")) +
                                " save -u " + Quoted(user) + " -m " + Quoted(folder) + " <" + Quoted(file);
    if (folder != "INBOX")
        Doveadm("mailbox create -u " + Quoted(user) + " " + Quoted(folder));
    return std::system(command.c_str()) == 0;
}

std::string Dovecot::LoginMethod(const std::string& user) const
{
    // Dovecot's log process writes the line a moment after the login.
    const std::string login = "Login: user=<" + user + ">, method=";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        const std::string log = ReadFileBytes(m_Dir.File("dovecot.log"));
        if (const std::size_t at = log.find(login); at != std::string::npos) {
            const std::size_t start = at + login.size();
            return log.substr(start, log.find_first_of(",\n", start) - start);
        }
        if (std::chrono::steady_clock::now() > deadline)
            return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string Dovecot::Doveadm(const std::string& arguments) const
{
    const std::string command =
        std::string(DoveadmProgram) + " -c " + Quoted(m_Dir.File("dovecot.conf")) + " " + arguments + " 2>&1";
    return CommandOutput(command);
}

} // namespace turnpost::test
