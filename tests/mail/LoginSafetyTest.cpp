#include "mail/MailMessage.h"
#include "mail/SMTPConnection.h"
#include "mail/SmtpError.h"
#include "support/ScriptedSmtpPeer.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::ScriptedSmtpPeer;

SmtpError Refusal(SmtpStep step, int code, std::string reply = {})
{
    SmtpError error;
    error.Number = ErrorNumber(ErrorCode::UnexpectedReply);
    error.Step = step;
    error.ReplyCode = code;
    error.Reply = reply.empty() ? std::to_string(code) + " no" : std::move(reply);
    return error;
}

SmtpError Broken(SmtpStep step, ErrorCode code)
{
    SmtpError error;
    error.Number = ErrorNumber(code);
    error.Step = step;
    return error;
}

// A refused login stops the run: the same credentials are not tried again. Anything else (a temporary
// refusal, a refusal of another command, a broken connection) leaves the next connection free to try.
TEST(LoginRefusal, OnlyAPermanentRefusalOfAuthCounts)
{
    const struct
    {
        const char* Name;
        SmtpError Error;
        bool Refused;
    } cases[] = {
        {"535 bad credentials", Refusal(SmtpStep::Auth, 535, "535 5.7.8 Authentication credentials invalid"),
         true},
        {"534 mechanism too weak",
         Refusal(SmtpStep::Auth, 534, "534 5.7.9 Authentication mechanism is too weak"), true},
        {"538 encryption required", Refusal(SmtpStep::Auth, 538, "538 5.7.11 Encryption required"), true},
        {"530 to AUTH", Refusal(SmtpStep::Auth, 530, "530 5.7.0 Authentication required"), true},
        {"454 temporary failure", Refusal(SmtpStep::Auth, 454, "454 4.7.0 Temporary authentication failure"),
         false},
        {"501 malformed", Refusal(SmtpStep::Auth, 501, "501 5.5.2 Cannot decode response"), false},
        {"504 unknown mechanism", Refusal(SmtpStep::Auth, 504, "504 5.5.4 Unrecognized authentication type"),
         false},
        {"530 to MAIL FROM", Refusal(SmtpStep::Mail, 530, "530 5.7.0 Authentication required"), false},
        {"535 to EHLO", Refusal(SmtpStep::Ehlo, 535), false},
        {"time-out at AUTH", Broken(SmtpStep::Auth, ErrorCode::TimedOut), false},
        {"closed at AUTH", Broken(SmtpStep::Auth, ErrorCode::ConnectionClosed), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Error.LoginRefused(), c.Refused) << c.Name;
}

// HELO knows no extensions: after a refused EHLO it may only stand in where none is needed.
TEST(HeloFallback, FollowsARefusedEhloOnlyWithoutStartTlsOrLogin)
{
    const struct
    {
        const char* Name;
        SmtpError Error;
        SmtpSecurity Security;
        bool Login;
        bool Helo;
    } cases[] = {
        {"502, plain, for SMTPUTF8", Refusal(SmtpStep::Ehlo, 502), SmtpSecurity::None, false, true},
        {"500, implicit TLS", Refusal(SmtpStep::Ehlo, 500), SmtpSecurity::ImplicitTls, false, true},
        {"502, plain, login", Refusal(SmtpStep::Ehlo, 502), SmtpSecurity::None, true, false},
        {"502, implicit TLS, login", Refusal(SmtpStep::Ehlo, 502), SmtpSecurity::ImplicitTls, true, false},
        {"502, STARTTLS", Refusal(SmtpStep::Ehlo, 502), SmtpSecurity::StartTls, false, false},
        {"421 closing", Refusal(SmtpStep::Ehlo, 421), SmtpSecurity::None, false, false},
        {"451 temporary", Refusal(SmtpStep::Ehlo, 451), SmtpSecurity::ImplicitTls, false, false},
        {"250 is no refusal", Refusal(SmtpStep::Ehlo, 250), SmtpSecurity::None, false, false},
        {"line too long (no code)", Refusal(SmtpStep::Ehlo, 0), SmtpSecurity::None, false, false},
        {"time-out", Broken(SmtpStep::Ehlo, ErrorCode::TimedOut), SmtpSecurity::None, false, false},
        {"closed", Broken(SmtpStep::Ehlo, ErrorCode::ConnectionClosed), SmtpSecurity::None, false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HeloMayFollow(c.Error, c.Security, c.Login), c.Helo) << c.Name;
}

CMailMessage Message()
{
    CMailMessage message;
    message.From = CMailAddress("host@example.org");
    message.AddRecipient(CMailAddress("player@example.org"));
    message.Subject = "Turn";
    message.SetBody("Turn attached.");
    return message;
}

/// Connects with a login and no encryption, sends a message if that succeeds, and gives what the
/// server received.
std::string PlainLoginAttempt(ScriptedSmtpPeer& peer, bool remote, SmtpError& error)
{
    peer.Start();
    CSMTPConnection connection;
    connection.SetTimeout(2000);
    connection.SetSecurity(SmtpSecurity::None);
    connection.SetLogin("alice", "s3cret pass");
    connection.TreatPeerAsRemote(remote);
    const bool connected = connection.Connect(peer.Address());
    if (connected)
        connection.SendMessage(Message());
    error = connection.GetError();
    EXPECT_FALSE(connected);
    connection.Disconnect();
    peer.Wait();
    return peer.Received();
}

TEST(LoginInClear, APasswordNeverGoesInClearToAnotherMachine)
{
    ScriptedSmtpPeer peer;
    peer.Send("220 hi\r\n").On("EHLO", "250-hi\r\n250 AUTH PLAIN LOGIN\r\n").On("QUIT", "221 bye\r\n");
    SmtpError error;
    const std::string received = PlainLoginAttempt(peer, true, error);
    // The connection greets, sees the way is clear and stops before AUTH; it leaves politely.
    EXPECT_EQ(received.find("AUTH"), std::string::npos) << received;
    EXPECT_EQ(received.find("MAIL"), std::string::npos) << received;
    EXPECT_EQ(peer.Commands().back(), "QUIT");
    EXPECT_EQ(error.Step, SmtpStep::Auth);
    EXPECT_EQ(error.Code(), ErrorCode::AccessDenied);
    EXPECT_FALSE(error.LoginRefused()) << "the server never saw the password, so it refused nothing";
    EXPECT_EQ(error.Text.rfind("Password not sent: the connection to 127.0.0.1 is not encrypted", 0), 0u)
        << error.Text;
}

TEST(LoginInClear, ARefusedEhloDoesNotLeadToMailingWithoutTheLogin)
{
    // A server that refuses EHLO but would take HELO and the message: with a login configured the
    // client must give up rather than mail unauthenticated.
    ScriptedSmtpPeer peer;
    peer.Send("220 hi\r\n")
        .On("EHLO", "502 5.5.2 command not recognized\r\n")
        .On("HELO", "250 ok\r\n")
        .On("MAIL", "250 ok\r\n")
        .On("RCPT", "250 ok\r\n")
        .On("DATA", "354 go\r\n")
        .ExpectData()
        .Send("250 queued\r\n")
        .On("QUIT", "221 bye\r\n");
    SmtpError error;
    const std::string received = PlainLoginAttempt(peer, false, error);
    EXPECT_EQ(received.find("HELO"), std::string::npos) << received;
    EXPECT_EQ(received.find("MAIL"), std::string::npos) << received;
    EXPECT_EQ(error.Step, SmtpStep::Ehlo);
    EXPECT_EQ(error.Reply, "502 5.5.2 command not recognized");
}

} // namespace
} // namespace turnpost
