#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace turnpost::test {

/// A loopback SMTP server of our own for exact dialogues and faults. It accepts a connection and
/// plays a script of expected client lines and canned replies (in pieces, multi-line, garbage, too
/// long), can close at any step or stay silent, and records every byte the client sent. When the
/// script has been played the peer stays silent: it only records, until the client goes.
///
///     ScriptedSmtpPeer peer;
///     peer.Send("220 hi\r\n").On("HELO", "250 ok\r\n").Close();
///     peer.Start();
///     connection.Connect(peer.Address());
class ScriptedSmtpPeer
{
public:
    /// Listens on a free port of 127.0.0.1, or of ::1 when ipv6 is set.
    explicit ScriptedSmtpPeer(bool ipv6 = false);
    ~ScriptedSmtpPeer();
    ScriptedSmtpPeer(const ScriptedSmtpPeer&) = delete;
    ScriptedSmtpPeer& operator=(const ScriptedSmtpPeer&) = delete;

    // The script, built before Start.
    /// Sends bytes in one piece.
    ScriptedSmtpPeer& Send(std::string bytes);
    /// Sends bytes in pieces, with a pause between them.
    ScriptedSmtpPeer& SendPieces(std::vector<std::string> pieces, int pauseMs = 40);
    /// Reads one client line (CR LF) and notes a mismatch unless it begins with prefix.
    ScriptedSmtpPeer& Expect(std::string prefix);
    /// Reads the message up to and including the end-of-data line.
    ScriptedSmtpPeer& ExpectData();
    /// Expect(prefix), then Send(reply).
    ScriptedSmtpPeer& On(std::string prefix, std::string reply);
    ScriptedSmtpPeer& Pause(int milliseconds);
    /// Closes the connection; the rest of the script is not played.
    ScriptedSmtpPeer& Close();
    /// Like Close, but with a reset (RST) instead of an orderly end.
    ScriptedSmtpPeer& Reset();
    /// Ends the connection (if the client has not) and waits for the client's next one; the script
    /// goes on there. After Close, too, only an AcceptNext lets the script go on.
    ScriptedSmtpPeer& AcceptNext();
    /// The whole successful dialogue for a message to the given number of recipients, QUIT included.
    ScriptedSmtpPeer& Accepting(int recipients = 1);

    void Start();
    std::uint16_t Port() const { return m_Port; }
    /// "127.0.0.1:port" or "[::1]:port", for Connect.
    std::string Address() const;

    /// Waits until the script has been played and the client has gone (at most a few seconds).
    void Wait();
    // After Wait:
    const std::string& Received() const { return m_Received; }
    /// The lines read by Expect, without CR LF.
    const std::vector<std::string>& Commands() const { return m_Commands; }
    /// How each line read by Expect arrived: on which connection (from 1) and in which read of the
    /// peer (numbered over the whole run). Lines of one read were sent by the client in one write,
    /// or nearly so; lines that waited for a reply between them never share a read.
    struct Arrival
    {
        int Connection = 0;
        int Read = 0;
    };
    const std::vector<Arrival>& Arrivals() const { return m_Arrivals; }
    /// How the end-of-data line of each message read by ExpectData arrived.
    const std::vector<Arrival>& DataEnds() const { return m_DataEnds; }
    /// How many connections the client made.
    int Connections() const { return m_Connections; }
    /// What ExpectData read, as it came (dot-stuffed, CR LF, with the end-of-data line).
    const std::string& Data() const { return m_Data; }
    /// "expected X, got Y" for every line that did not match; empty when the client kept to the script.
    const std::vector<std::string>& Mismatches() const { return m_Mismatches; }

private:
    struct Step
    {
        enum Kind
        {
            SendBytes,
            ExpectLine,
            ExpectDataBlock,
            PauseFor,
            CloseNow,
            ResetNow,
            AcceptConnection
        } Kind;
        std::string Text;
        int Milliseconds = 0;
    };

    void Run();
    int AcceptClient();
    bool ReadMore(int client);
    bool ReadUntil(int client, const std::string& terminator, std::string& taken);

    std::vector<Step> m_Script;
    int m_Listener = -1;
    std::uint16_t m_Port = 0;
    bool m_Ipv6 = false;
    std::thread m_Thread;
    std::atomic<bool> m_Stop{false};

    std::string m_Pending; // received and not yet taken by a step
    std::string m_Received;
    std::size_t m_Taken = 0;             // bytes of m_Received taken by steps, over all connections
    std::vector<std::size_t> m_ReadEnds; // where each read ended in m_Received
    std::vector<Arrival> m_Arrivals;
    std::vector<Arrival> m_DataEnds;
    int m_Connections = 0;
    std::vector<std::string> m_Commands;
    std::string m_Data;
    std::vector<std::string> m_Mismatches;
};

} // namespace turnpost::test
