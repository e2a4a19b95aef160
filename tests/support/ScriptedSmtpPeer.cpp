#include "support/ScriptedSmtpPeer.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace turnpost::test {

namespace {

// No step of a test waits longer than this for the client, so a broken client cannot hang the run.
constexpr auto ClientLimit = std::chrono::seconds(10);

} // namespace

ScriptedSmtpPeer::ScriptedSmtpPeer(bool ipv6) : m_Ipv6(ipv6)
{
    m_Listener = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_Listener < 0)
        throw std::runtime_error("socket failed");
    sockaddr_storage address{};
    socklen_t length = 0;
    if (ipv6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_addr = in6addr_loopback;
        length = sizeof *v6;
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof *v4;
    }
    if (::bind(m_Listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_Listener, 4) != 0)
        throw std::runtime_error("bind or listen failed");
    length = sizeof address;
    ::getsockname(m_Listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_Port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                        : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

ScriptedSmtpPeer::~ScriptedSmtpPeer()
{
    m_Stop = true;
    if (m_Thread.joinable())
        m_Thread.join();
    if (m_Listener >= 0)
        ::close(m_Listener);
}

ScriptedSmtpPeer& ScriptedSmtpPeer::Send(std::string bytes)
{
    m_Script.push_back({Step::SendBytes, std::move(bytes), 0});
    return *this;
}

ScriptedSmtpPeer& ScriptedSmtpPeer::SendPieces(std::vector<std::string> pieces, int pauseMs)
{
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            Pause(pauseMs);
        Send(std::move(pieces[i]));
    }
    return *this;
}

ScriptedSmtpPeer& ScriptedSmtpPeer::Expect(std::string prefix)
{
    m_Script.push_back({Step::ExpectLine, std::move(prefix), 0});
    return *this;
}

ScriptedSmtpPeer& ScriptedSmtpPeer::ExpectData()
{
    m_Script.push_back({Step::ExpectDataBlock, {}, 0});
    return *this;
}

ScriptedSmtpPeer& ScriptedSmtpPeer::On(std::string prefix, std::string reply)
{
    return Expect(std::move(prefix)).Send(std::move(reply));
}

ScriptedSmtpPeer& ScriptedSmtpPeer::Pause(int milliseconds)
{
    m_Script.push_back({Step::PauseFor, {}, milliseconds});
    return *this;
}

ScriptedSmtpPeer& ScriptedSmtpPeer::Close()
{
    m_Script.push_back({Step::CloseNow, {}, 0});
    return *this;
}

ScriptedSmtpPeer& ScriptedSmtpPeer::Reset()
{
    m_Script.push_back({Step::ResetNow, {}, 0});
    return *this;
}

ScriptedSmtpPeer& ScriptedSmtpPeer::AcceptNext()
{
    m_Script.push_back({Step::AcceptConnection, {}, 0});
    return *this;
}

ScriptedSmtpPeer& ScriptedSmtpPeer::Accepting(int recipients)
{
    Send("220 peer ready\r\n").On("HELO ", "250 peer\r\n").On("MAIL FROM:<", "250 sender ok\r\n");
    for (int i = 0; i < recipients; ++i)
        On("RCPT TO:<", "250 recipient ok\r\n");
    On("DATA", "354 go ahead\r\n").ExpectData().Send("250 queued\r\n");
    return On("QUIT", "221 bye\r\n");
}

void ScriptedSmtpPeer::Start()
{
    m_Thread = std::thread([this] { Run(); });
}

std::string ScriptedSmtpPeer::Address() const
{
    return (m_Ipv6 ? "[::1]:" : "127.0.0.1:") + std::to_string(m_Port);
}

void ScriptedSmtpPeer::Wait()
{
    if (m_Thread.joinable())
        m_Thread.join();
}

bool ScriptedSmtpPeer::ReadMore(int client)
{
    const auto deadline = std::chrono::steady_clock::now() + ClientLimit;
    while (!m_Stop && std::chrono::steady_clock::now() < deadline) {
        pollfd p{client, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        char buffer[65536];
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        m_Pending.append(buffer, static_cast<std::size_t>(n));
        m_Received.append(buffer, static_cast<std::size_t>(n));
        m_ReadEnds.push_back(m_Received.size());
        return true;
    }
    return false;
}

bool ScriptedSmtpPeer::ReadUntil(int client, const std::string& terminator, std::string& taken)
{
    std::size_t searchFrom = 0;
    for (;;) {
        const auto found = m_Pending.find(terminator, searchFrom);
        if (found != std::string::npos) {
            taken = m_Pending.substr(0, found + terminator.size());
            m_Pending.erase(0, found + terminator.size());
            m_Taken += taken.size();
            return true;
        }
        searchFrom = m_Pending.size() >= terminator.size() ? m_Pending.size() - terminator.size() + 1 : 0;
        if (!ReadMore(client))
            return false;
    }
}

int ScriptedSmtpPeer::AcceptClient()
{
    const auto deadline = std::chrono::steady_clock::now() + ClientLimit;
    while (!m_Stop && std::chrono::steady_clock::now() < deadline) {
        pollfd p{m_Listener, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) {
            const int client = ::accept4(m_Listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                ++m_Connections;
                // What the last connection left unread is not part of this one.
                m_Taken += m_Pending.size();
                m_Pending.clear();
                return client;
            }
        }
    }
    return -1;
}

void ScriptedSmtpPeer::Run()
{
    int client = AcceptClient();
    if (client < 0)
        return;

    bool open = true;
    for (const Step& step : m_Script) {
        if (step.Kind == Step::AcceptConnection) {
            if (client >= 0)
                ::close(client);
            client = AcceptClient();
            if (client < 0) {
                m_Mismatches.push_back("expected another connection, got none");
                return;
            }
            open = true;
            continue;
        }
        if (!open)
            continue;
        switch (step.Kind) {
        case Step::SendBytes:
            ::send(client, step.Text.data(), step.Text.size(), MSG_NOSIGNAL);
            break;
        case Step::ExpectLine: {
            std::string line;
            if (!ReadUntil(client, "\r\n", line)) {
                m_Mismatches.push_back("expected " + step.Text + ", got the end of the connection");
                open = false;
                break;
            }
            line.resize(line.size() - 2);
            m_Commands.push_back(line);
            std::size_t read = 0;
            while (read < m_ReadEnds.size() && m_ReadEnds[read] < m_Taken)
                ++read;
            m_Arrivals.push_back({m_Connections, static_cast<int>(read) + 1});
            if (line.compare(0, step.Text.size(), step.Text) != 0)
                m_Mismatches.push_back("expected " + step.Text + ", got " + line);
            break;
        }
        case Step::ExpectDataBlock: {
            // The end-of-data line may also come first, right after the DATA reply.
            if (m_Pending.compare(0, 3, ".\r\n") == 0) {
                m_Data = ".\r\n";
                m_Pending.erase(0, 3);
                m_Taken += 3;
            } else if (!ReadUntil(client, "\r\n.\r\n", m_Data)) {
                m_Mismatches.push_back("expected the message, got the end of the connection");
                open = false;
                break;
            }
            std::size_t read = 0;
            while (read < m_ReadEnds.size() && m_ReadEnds[read] < m_Taken)
                ++read;
            m_DataEnds.push_back({m_Connections, static_cast<int>(read) + 1});
            break;
        }
        case Step::PauseFor:
            std::this_thread::sleep_for(std::chrono::milliseconds(step.Milliseconds));
            break;
        case Step::ResetNow: {
            // A linger time of zero makes close send RST.
            const linger abort{1, 0};
            ::setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            ::close(client);
            client = -1;
            open = false;
            break;
        }
        case Step::CloseNow:
            ::close(client);
            client = -1;
            open = false;
            break;
        case Step::AcceptConnection:
            break;
        }
    }
    // Whatever the client says after the script is recorded until it goes.
    while (open && ReadMore(client)) {
    }
    if (client >= 0)
        ::close(client);
}

} // namespace turnpost::test
