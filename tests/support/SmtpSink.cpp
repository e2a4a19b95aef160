#include "support/SmtpSink.h"

#include "support/CommandOutput.h"
#include "support/LoopbackPort.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef TURNPOST_SUPPORT_DIR
#error "TURNPOST_SUPPORT_DIR must name tests/support"
#endif

namespace turnpost::test {

namespace {

constexpr const char* SinkProgram = "/usr/sbin/smtp-sink";

bool Accepts(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

std::vector<std::string> DumpedFiles(const std::string& folder)
{
    std::vector<std::pair<std::filesystem::file_time_type, std::string>> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error))
        if (entry.is_regular_file())
            files.emplace_back(entry.last_write_time(), entry.path().string());
    std::sort(files.begin(), files.end());
    std::vector<std::string> paths;
    for (auto& file : files)
        paths.push_back(std::move(file.second));
    return paths;
}

} // namespace

std::string SupportScript(const std::string& name)
{
    return std::string(TURNPOST_SUPPORT_DIR) + "/" + name;
}

SmtpSink::SmtpSink(bool dump)
{
    if (::access(SinkProgram, X_OK) != 0) {
        m_Error = std::string(SinkProgram) + " is not installed (Debian package postfix)";
        return;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "turnpost-sink-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        m_Error = "mkdtemp failed";
        return;
    }
    m_Folder = pattern;
    m_Port = FreeLoopbackPort();

    std::vector<std::string> args{SinkProgram};
    if (::geteuid() == 0) {
        // smtp-sink refuses to keep root's rights; the user it drops to must be able to write the dumps.
        args.insert(args.end(), {"-u", "nobody"});
        std::filesystem::permissions(m_Folder, std::filesystem::perms::all);
    }
    if (dump)
        args.insert(args.end(), {"-d", m_Folder + "/%Y%m%d%H%M%S."});
    args.push_back("127.0.0.1:" + std::to_string(m_Port));
    args.push_back("64");

    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        ::execv(SinkProgram, argv.data());
        ::_exit(127);
    }
    if (pid < 0) {
        m_Error = "fork failed";
        return;
    }
    m_Pid = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!Accepts(m_Port)) {
        int status = 0;
        if (::waitpid(m_Pid, &status, WNOHANG) == m_Pid || std::chrono::steady_clock::now() > deadline) {
            m_Error = "smtp-sink did not start on port " + std::to_string(m_Port);
            ::kill(m_Pid, SIGKILL);
            ::waitpid(m_Pid, &status, 0);
            m_Pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

SmtpSink::~SmtpSink()
{
    if (m_Pid > 0) {
        ::kill(m_Pid, SIGTERM);
        int status = 0;
        ::waitpid(m_Pid, &status, 0);
    }
    if (!m_Folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_Folder, ignored);
    }
}

std::vector<std::string> SmtpSink::WaitForMessages(std::size_t count) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        auto files = DumpedFiles(m_Folder);
        if (files.size() >= count)
            return files;
        if (std::chrono::steady_clock::now() > deadline)
            return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<ParsedMail> ParseMails(const std::vector<std::string>& paths)
{
    std::string command = "/usr/bin/python3 '" + SupportScript("parse_mail.py") + "'";
    for (const auto& path : paths)
        command += " '" + path + "'";
    const std::string output = CommandOutput(command);
    std::vector<ParsedMail> mails(paths.size());
    const auto json = nlohmann::json::parse(output, nullptr, false);
    if (!json.is_array() || json.size() != paths.size()) {
        for (auto& mail : mails)
            mail.Error = "parse_mail.py gave no answer: " + output;
        return mails;
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const auto& m = json[i];
        ParsedMail& mail = mails[i];
        mail.Ok = true;
        mail.Subject = m.value("subject", "");
        mail.From = m.value("from", "");
        mail.To = m.value("to", std::vector<std::string>{});
        mail.EnvelopeFrom = m.value("envelope_from", "");
        mail.EnvelopeTo = m.value("envelope_to", std::vector<std::string>{});
        mail.Helo = m.value("helo", "");
        mail.ContentType = m.value("content_type", "");
        mail.Text = m.value("text", "");
        mail.TextCharset = m.value("text_charset", "");
        mail.Defects = m.value("defects", std::vector<std::string>{});
        for (const auto& a : m.value("attachments", nlohmann::json::array()))
            mail.Attachments.push_back(
                {a.value("filename", ""), a.value("size", std::uint64_t{0}), a.value("sha256", "")});
    }
    return mails;
}

std::string Sha256Hex(const std::string& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}

} // namespace turnpost::test
