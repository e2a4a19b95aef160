#include "send/PlayerVerdict.h"
#include "send/SendRun.h"
#include "support/RecordingUserInterface.h"
#include "support/SampleSetup.h"
#include "support/ScriptedSmtpPeer.h"

#include <gtest/gtest.h>

#include <string>

namespace turnpost {
namespace {

using test::RecordingUserInterface;
using test::ScriptedSmtpPeer;

// A player's address is written like the return address, and a domain that no server could deliver
// to is refused before anybody is connected.
TEST(PlayerAddressTest, AddressProblemTakesMailboxFormsAndChecksTheDomain)
{
    const struct
    {
        const char* Address;
        const char* Problem; // a part of the refusal; empty: accepted
    } cases[] = {
        {"one@example.org", ""},
        {"Player One <one@example.org>", ""},
        {"<one@example.org>", ""},
        {"\"One, Player\" <one@example.org>", ""},
        {"one@b\xc3\xbc"
         "cher.example",
         ""},
        {"one@xn--bcher-kva.example", ""},
        {"", "no e-mail address"},
        {"a <b@example.org> <c@example.org>", "Invalid e-mail address"},
        {"Player One <>", "no e-mail address"},
        {"one@b\xc3\xbc_cher.example", "Invalid e-mail address: one@b\xc3\xbc_cher.example (domain:"},
        {"One <one@b\xc3\xbc_cher.example>", "Invalid e-mail address: one@b\xc3\xbc_cher.example (domain:"},
        {"one@xn--.example", "Invalid e-mail address: one@xn--.example (domain:"},
        {"one@xn--ls8h.example", "Invalid e-mail address: one@xn--ls8h.example (domain:"},
    };
    for (const auto& c : cases) {
        const std::string problem = AddressProblem(c.Address);
        if (*c.Problem == '\0')
            EXPECT_EQ(problem, "") << c.Address;
        else
            EXPECT_NE(problem.find(c.Problem), std::string::npos) << c.Address << ": " << problem;
    }
}

// The envelope carries the bare address; the To line keeps the name.
TEST(PlayerAddressTest, NamedPlayerGetsTheBareAddressInTheEnvelope)
{
    ScriptedSmtpPeer peer;
    peer.Send("220 hi\r\n")
        .On("HELO", "250 ok\r\n")
        .On("MAIL FROM:<host@example.org>", "250 ok\r\n")
        .On("RCPT TO:", "250 ok\r\n")
        .On("DATA", "354 go\r\n")
        .ExpectData()
        .Send("250 queued\r\n")
        .On("QUIT", "221 bye\r\n");
    peer.Start();

    GameDocument document;
    document.Setup = test::SampleSetup(peer.Address(), 1);
    document.Setup.Players[0].EmailAddress = "Player One <one@example.org>";
    document.Setup.SmtpTimeout = 3000;
    RecordingUserInterface ui{&document};
    ui.FillRows();
    const SendOutcome outcome = OnSend(document, ui);
    peer.Wait();

    EXPECT_NE(outcome.Summary.find("[Player 1] Sent OK\n"), std::string::npos) << outcome.Summary;
    EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
    ASSERT_GE(peer.Commands().size(), 3u);
    EXPECT_EQ(peer.Commands()[2], "RCPT TO:<one@example.org>");
    EXPECT_NE(peer.Data().find("\r\nTo: Player One <one@example.org>\r\n"), std::string::npos) << peer.Data();
}

} // namespace
} // namespace turnpost
