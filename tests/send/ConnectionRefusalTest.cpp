#include "send/ConnectionSettings.h"
#include "send/SendRun.h"
#include "support/RecordingUserInterface.h"
#include "support/SampleSetup.h"
#include "support/ScriptedSmtpPeer.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::RecordingUserInterface;
using test::ScriptedSmtpPeer;

SmtpError Refusal(SmtpStep step, int replyCode, ErrorCode code = ErrorCode::UnexpectedReply)
{
    SmtpError error;
    error.Number = ErrorNumber(code);
    error.Step = step;
    error.ReplyCode = replyCode;
    error.Reply = std::to_string(replyCode) + " no";
    return error;
}

// A server that refuses us outright will refuse the next connection too; one that is only busy (4xx)
// may take the next, and a refused message says nothing of the connection.
TEST(StopReasonAfter, StopsOnPermanentRefusalsOfTheConnection)
{
    const std::string refused = "the server refused the connection (see Player 2)";
    const struct
    {
        const char* Name;
        SmtpError Error;
        std::string Reason;
    } cases[] = {
        {"greeting 554", Refusal(SmtpStep::Greeting, 554), refused},
        {"greeting 521", Refusal(SmtpStep::Greeting, 521), refused},
        {"greeting 421", Refusal(SmtpStep::Greeting, 421), ""},
        {"greeting 450", Refusal(SmtpStep::Greeting, 450), ""},
        {"greeting timed out", Refusal(SmtpStep::Greeting, 0, ErrorCode::TimedOut), ""},
        {"greeting cut after a 554 line", Refusal(SmtpStep::Greeting, 0, ErrorCode::ConnectionClosed), ""},
        {"EHLO 550", Refusal(SmtpStep::Ehlo, 550), refused},
        {"EHLO 421", Refusal(SmtpStep::Ehlo, 421), ""},
        {"HELO 501", Refusal(SmtpStep::Helo, 501), refused},
        {"HELO 421", Refusal(SmtpStep::Helo, 421), ""},
        {"login 535", Refusal(SmtpStep::Auth, 535), "the server refused the login (see Player 2)"},
        {"sender 550", Refusal(SmtpStep::Mail, 550), ""},
        {"recipient 550", Refusal(SmtpStep::Rcpt, 550), ""},
        {"message 554", Refusal(SmtpStep::EndOfData, 554), ""},
        {"connection refused", Refusal(SmtpStep::Connect, 0, ErrorCode::ConnectionRefused), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StopReasonAfter(c.Error, "Player 2"), c.Reason) << c.Name;
}

// A 554 greeting is met once: the players after the first and the report mail are not tried again.
TEST(StopReasonAfter, RefusedGreetingStopsTheRun)
{
    ScriptedSmtpPeer peer;
    peer.Send("554 5.7.1 mx.example: no service for you\r\n").On("QUIT", "221 bye\r\n");
    peer.Start();

    GameDocument document;
    document.Setup = test::SampleSetup(peer.Address(), 3);
    document.Setup.SmtpTimeout = 500;
    document.Setup.EmailReport = 1;
    document.Setup.ReportAddress = "host@example.org";
    RecordingUserInterface ui{&document};
    ui.FillRows();
    const SendOutcome outcome = OnSend(document, ui);
    peer.Wait();

    const std::string stopped = "** ERROR: not sent: the server refused the connection (see Player 1)\n";
    EXPECT_NE(outcome.Summary.find("[Player 1] ** ERROR: Connection error 10043 (unexpected reply from the "
                                   "server): 554 5.7.1 mx.example: no service for you\n"),
              std::string::npos)
        << outcome.Summary;
    EXPECT_NE(outcome.Summary.find("[Player 2] " + stopped), std::string::npos) << outcome.Summary;
    EXPECT_NE(outcome.Summary.find("[Player 3] " + stopped), std::string::npos) << outcome.Summary;
    EXPECT_EQ(outcome.Failed, 3);
    EXPECT_TRUE(outcome.ReportMailFailed);
    EXPECT_EQ(outcome.ReportMailError, "not sent: the server refused the connection (see Player 1)");
    EXPECT_EQ(peer.Connections(), 1);
    EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches().front();
}

} // namespace
} // namespace turnpost
