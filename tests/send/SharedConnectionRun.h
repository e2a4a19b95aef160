#pragma once

#include "send/SendRun.h"
#include "support/RecordingUserInterface.h"
#include "support/SampleSetup.h"
#include "support/ScopedEnvironment.h"
#include "support/ScriptedSmtpPeer.h"

#include <gtest/gtest.h>

#include <string>

namespace turnpost::test {

/// Greeting, EHLO (offering PIPELINING when asked) and the login of "host" with "secret".
inline ScriptedSmtpPeer& Greeted(ScriptedSmtpPeer& peer, bool pipelining)
{
    return peer.Send("220 peer ready\r\n")
        .On("EHLO ",
            std::string("250-peer\r\n") + (pipelining ? "250-PIPELINING\r\n" : "") + "250 AUTH PLAIN\r\n")
        .On("AUTH PLAIN AGhvc3QAc2VjcmV0", "235 2.7.0 welcome\r\n");
}

/// The envelope of player n, answered with the given replies (all three together with pipelining).
inline ScriptedSmtpPeer& Envelope(ScriptedSmtpPeer& peer, int n, bool pipelining,
                                  const std::string& dataReply = "354 go\r\n")
{
    const std::string to = "RCPT TO:<p" + std::to_string(n) + "@example.org>";
    if (pipelining)
        return peer.Expect("MAIL FROM:<host@example.org>")
            .Expect(to)
            .Expect("DATA")
            .Send("250 ok\r\n250 ok\r\n" + dataReply);
    return peer.On("MAIL FROM:<host@example.org>", "250 ok\r\n").On(to, "250 ok\r\n").On("DATA", dataReply);
}

/// Player n's whole transaction, its end of data answered with endReply.
inline ScriptedSmtpPeer& Transaction(ScriptedSmtpPeer& peer, int n, bool pipelining,
                                     const std::string& endReply = "250 queued\r\n")
{
    return Envelope(peer, n, pipelining).ExpectData().Send(endReply);
}

/// A run of three players (p1@ to p3@example.org) with a login, so that they share one connection,
/// against a scripted peer.
struct SharedConnectionRun : ::testing::Test
{
    SharedConnectionRun()
    {
        document.Setup = SampleSetup({});
        document.Setup.SmtpUser = "host";
        document.Setup.SmtpTimeout = 5000;
        document.CommandLineRun = 1;
    }

    SendOutcome Run(const ScriptedSmtpPeer& peer)
    {
        document.Setup.SmtpServer = peer.Address();
        RecordingUserInterface ui{&document};
        ui.FillRows();
        return OnSend(document, ui);
    }

    ScopedEnvironment password{"TURNPOST_SMTP_PASSWORD", std::string("secret")};
    GameDocument document;
};

} // namespace turnpost::test
