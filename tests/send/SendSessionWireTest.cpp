// A shared connection against servers that end it without a word, reset it, or answer out of turn:
// a message goes once more over a new connection only when the server cannot have taken it, and a
// player counts as sent only on the reply to his own end of data.
#include "SharedConnectionRun.h"

#include <gtest/gtest.h>

#include <functional>

namespace turnpost {
namespace {

using test::Envelope;
using test::Greeted;
using test::ScriptedSmtpPeer;
using test::Transaction;
using WireRun = test::SharedConnectionRun;

int Count(const std::string& text, const std::string& part)
{
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST_F(WireRun, EndsAndStrayRepliesCostNoPlayerAndMailNobodyTwice)
{
    const std::string early = "the server answered before the command was sent (protocol error)";
    struct Case
    {
        const char* name;
        bool pipelining;
        // From player 1's transaction to the end; the greeting comes before.
        std::function<void(ScriptedSmtpPeer&, bool)> script;
        const char* player2; // the line after "[Player 2] "
        int connections;
    };
    const auto again = [](ScriptedSmtpPeer& peer, bool pipelining, int from) {
        peer.AcceptNext();
        Greeted(peer, pipelining);
        for (int n = from; n <= 3; ++n)
            Transaction(peer, n, pipelining);
        peer.On("QUIT", "221 bye\r\n");
    };
    const auto closedAfterOne = [&](ScriptedSmtpPeer& peer, bool pipelining) {
        Transaction(peer, 1, pipelining).Close();
        again(peer, pipelining, 2);
    };
    const auto resetAfterOne = [&](ScriptedSmtpPeer& peer, bool pipelining) {
        Transaction(peer, 1, pipelining).Reset();
        again(peer, pipelining, 2);
    };
    const auto closedAtMail = [&](ScriptedSmtpPeer& peer, bool pipelining) {
        Transaction(peer, 1, pipelining).Expect("MAIL FROM").Close();
        again(peer, pipelining, 2);
    };
    const auto resetAtMail = [&](ScriptedSmtpPeer& peer, bool pipelining) {
        Transaction(peer, 1, pipelining).Expect("MAIL FROM").Reset();
        again(peer, pipelining, 2);
    };
    // Once MAIL FROM is taken the message is no longer retried, even though its data never went.
    const auto closedAtRcpt = [&](ScriptedSmtpPeer& peer, bool pipelining) {
        Transaction(peer, 1, pipelining).On("MAIL FROM", "250 ok\r\n").Expect("RCPT TO").Close();
        again(peer, pipelining, 3);
    };
    // The 354 and an early 250 together; the real end of data would have had a 451.
    const auto earlyWithData = [&](ScriptedSmtpPeer& peer, bool pipelining) {
        Transaction(peer, 1, pipelining);
        Envelope(peer, 2, pipelining, "354 go\r\n250 2.0.0 early\r\n");
        again(peer, pipelining, 3);
    };
    const auto extraAfterEnd = [&](ScriptedSmtpPeer& peer, bool pipelining) {
        Transaction(peer, 1, pipelining, "250 queued\r\n250 2.0.0 extra\r\n");
        again(peer, pipelining, 2);
    };
    // With PIPELINING player 2's envelope is already out behind player 1's end of data, so the extra
    // reply is read as the answer to his MAIL: he is failed, and mailed nowhere.
    const auto extraAfterEndAhead = [&](ScriptedSmtpPeer& peer, bool pipelining) {
        Transaction(peer, 1, pipelining, "250 queued\r\n250 2.0.0 extra\r\n");
        again(peer, pipelining, 3);
    };
    const Case cases[] = {
        {"closed after a message, PIPELINING", true, closedAfterOne, "Sent OK", 2},
        {"closed after a message", false, closedAfterOne, "Sent OK", 2},
        {"reset after a message, PIPELINING", true, resetAfterOne, "Sent OK", 2},
        {"reset after a message", false, resetAfterOne, "Sent OK", 2},
        {"closed when the next MAIL came, PIPELINING", true, closedAtMail, "Sent OK", 2},
        {"closed when the next MAIL came", false, closedAtMail, "Sent OK", 2},
        {"reset when the next MAIL came, PIPELINING", true, resetAtMail, "Sent OK", 2},
        {"reset when the next MAIL came", false, resetAtMail, "Sent OK", 2},
        {"closed after MAIL FROM was taken", false, closedAtRcpt,
         "the server closed the connection (waiting for the reply to RCPT TO)", 2},
        {"an early 250 with the 354, PIPELINING", true, earlyWithData, early.c_str(), 2},
        {"an extra reply after DATA", false, earlyWithData, early.c_str(), 2},
        {"an extra reply after the end of data, PIPELINING", true, extraAfterEndAhead,
         "the server closed the connection (waiting for the reply to RCPT TO)", 2},
        {"an extra reply after the end of data", false, extraAfterEnd, "Sent OK", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSmtpPeer peer;
        Greeted(peer, c.pipelining);
        c.script(peer, c.pipelining);
        peer.Start();
        const SendOutcome outcome = Run(peer);
        peer.Wait();
        EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
        EXPECT_EQ(peer.Connections(), c.connections);
        const std::string lines = std::string("[Player 1] Sent OK\n[Player 2] ") +
                                  (std::string(c.player2) == "Sent OK" ? "" : "** ERROR: ") + c.player2 +
                                  "\n[Player 3] Sent OK\n";
        EXPECT_EQ(outcome.Summary.substr(0, lines.size()), lines) << outcome.Summary;
        // Each message reached the server once; one refused as out of step not at all.
        const bool secondSent = std::string(c.player2) == "Sent OK";
        EXPECT_EQ(Count(peer.Received(), "Subject: Alpha for player 1\r\n"), 1);
        EXPECT_EQ(Count(peer.Received(), "Subject: Alpha for player 2\r\n"), secondSent ? 1 : 0);
        EXPECT_EQ(Count(peer.Received(), "Subject: Alpha for player 3\r\n"), 1);
    }
}

} // namespace
} // namespace turnpost
