#include "support/PythonSmtpServer.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace turnpost::test {

namespace {
// The Debian interpreter: the one on PATH may lack the distribution's aiosmtpd.
const char* const Python = "/usr/bin/python3";
// Only a bound against a broken interpreter; the server is normally up in well under a second.
const int StartLimitMs = 60000;
} // namespace

PythonSmtpServer::PythonSmtpServer(const SmtpServerOptions& options)
{
    std::vector<std::string> arguments{Python, TURNPOST_SUPPORT_DIR "/smtp_test_server.py", "--record",
                                       m_Dir.File("record.jsonl")};
    auto flag = [&](bool on, const char* name) {
        if (on)
            arguments.push_back(name);
    };
    auto value = [&](const std::string& text, const char* name) {
        if (!text.empty()) {
            arguments.push_back(name);
            arguments.push_back(text);
        }
    };
    value(options.Certificate, "--cert");
    value(options.Key, "--key");
    flag(options.StartTls, "--starttls");
    flag(options.RequireStartTls, "--require-starttls");
    flag(options.RefuseStartTls, "--refuse-starttls");
    flag(options.ImplicitTls, "--implicit-tls");
    flag(options.RefuseEhlo, "--refuse-ehlo");
    flag(options.SmtpUtf8, "--smtputf8");
    flag(options.Pipelining, "--pipelining");
    flag(options.AuthInClear, "--auth-in-clear");
    value(options.Login, "--login");
    value(options.Mechanisms, "--mechanisms");
    value(options.RefuseOnce, "--refuse-once");
    if (options.CloseAfter > 0)
        value(std::to_string(options.CloseAfter), "--close-after");
    flag(options.Abrupt, "--abrupt");
    if (options.End421After > 0)
        value(std::to_string(options.End421After), "--421-after");

    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        m_Error = "pipe failed";
        return;
    }
    const std::string errorLog = m_Dir.File("server.log");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int spawned = ::posix_spawn(&m_Process, Python, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        m_Process = -1;
        ::close(pipeEnds[0]);
        m_Error = "cannot start " + std::string(Python);
        return;
    }

    std::string line;
    pollfd entry{pipeEnds[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&entry, 1, StartLimitMs) > 0) {
        char buffer[64];
        const ssize_t n = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeEnds[0]);
    const int port = std::atoi(line.c_str());
    if (port > 0 && port < 65536)
        m_Port = static_cast<std::uint16_t>(port);
    else
        m_Error = "the SMTP test server did not start:\n" + ReadFileBytes(errorLog);
}

PythonSmtpServer::~PythonSmtpServer()
{
    if (m_Process > 0) {
        ::kill(m_Process, SIGTERM);
        int status = 0;
        while (::waitpid(m_Process, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

std::string PythonSmtpServer::Address(const std::string& host) const
{
    return host + ":" + std::to_string(m_Port);
}

SmtpServerRecord PythonSmtpServer::Record() const
{
    SmtpServerRecord record;
    std::istringstream lines(ReadFileBytes(m_Dir.File("record.jsonl")));
    std::string text;
    while (std::getline(lines, text)) {
        const auto entry = nlohmann::json::parse(text, nullptr, false);
        if (entry.is_discarded())
            continue;
        if (entry.contains("line")) {
            record.Lines.push_back({entry["line"].get<std::string>(), entry["tls"].get<bool>()});
        } else if (entry.contains("auth")) {
            record.Logins.push_back({entry["auth"].get<std::string>(), entry["success"].get<bool>()});
        } else if (entry.contains("message")) {
            SmtpServerRecord::Message message;
            message.Content = entry["message"].get<std::string>();
            message.From = entry["from"].get<std::string>();
            message.To = entry["to"].get<std::vector<std::string>>();
            message.Tls = entry["tls"].get<bool>();
            if (entry["user"].is_string())
                message.User = entry["user"].get<std::string>();
            record.Messages.push_back(std::move(message));
        } else if (entry.contains("handshake")) {
            record.Handshakes.push_back(entry["resumed"].get<bool>());
        }
    }
    return record;
}

bool SmtpServerRecord::SawInClear(const std::string& prefix) const
{
    for (const auto& line : Lines) {
        if (line.Tls || line.Text.size() < prefix.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < prefix.size() && same; ++i)
            same = std::toupper(static_cast<unsigned char>(line.Text[i])) ==
                   std::toupper(static_cast<unsigned char>(prefix[i]));
        if (same)
            return true;
    }
    return false;
}

} // namespace turnpost::test
