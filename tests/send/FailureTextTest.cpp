#include "send/FailureText.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

SmtpError Failure(SmtpStep step, ErrorCode code, int replyCode = 0, std::string reply = {})
{
    SmtpError error;
    error.Number = ErrorNumber(code);
    error.Step = step;
    error.ReplyCode = replyCode;
    error.Reply = std::move(reply);
    return error;
}

// The wording tells the host where it went wrong: a server that cannot be reached is not a server that
// fell silent, and a refusal in the middle of the dialogue is not the server's verdict on the mail.
TEST(FailureText, WordsEachStepAndError)
{
    SmtpError tls = Failure(SmtpStep::Tls, ErrorCode::ConnectionAborted);
    tls.Text = "TLS handshake failed: certificate verify failed (hostname mismatch)";
    const struct
    {
        const char* Name;
        SmtpError Error;
        const char* Text;
    } cases[] = {
        {"connect timed out", Failure(SmtpStep::Connect, ErrorCode::TimedOut),
         "Connection error 10060 (timed out)"},
        {"TLS handshake timed out", Failure(SmtpStep::Tls, ErrorCode::TimedOut),
         "Connection error 10060 (timed out)"},
        {"silent greeting", Failure(SmtpStep::Greeting, ErrorCode::TimedOut),
         "Connection error 10060 (timed out waiting for the greeting)"},
        {"silent after EHLO", Failure(SmtpStep::Ehlo, ErrorCode::TimedOut),
         "Connection error 10060 (timed out waiting for the reply to EHLO)"},
        {"half a greeting, then silence", Failure(SmtpStep::Greeting, ErrorCode::TimedOut, 0, "220-mail"),
         "Connection error 10060 (timed out waiting for the greeting): 220 mail"},
        {"silent after RCPT", Failure(SmtpStep::Rcpt, ErrorCode::TimedOut),
         "timed out waiting for the reply to RCPT TO"},
        {"silent after the message", Failure(SmtpStep::EndOfData, ErrorCode::TimedOut),
         "timed out waiting for the reply to end of data"},
        {"connection refused", Failure(SmtpStep::Connect, ErrorCode::ConnectionRefused),
         "Connection error 10061 (connection refused)"},
        {"closed while connecting", Failure(SmtpStep::Connect, ErrorCode::ConnectionClosed),
         "Connection error 10054 (the server closed the connection)"},
        {"closed before the greeting", Failure(SmtpStep::Greeting, ErrorCode::ConnectionClosed),
         "Connection error 10054 (the server closed the connection (waiting for the greeting))"},
        {"closed at DATA", Failure(SmtpStep::Data, ErrorCode::ConnectionClosed),
         "the server closed the connection (waiting for the reply to DATA)"},
        {"login refused",
         Failure(SmtpStep::Auth, ErrorCode::UnexpectedReply, 535, "535 5.7.8 bad credentials"),
         "Connection error 10043 (the server refused the login): 535 5.7.8 bad credentials"},
        {"login answered oddly", Failure(SmtpStep::Auth, ErrorCode::UnexpectedReply, 250, "250 2.0.0 Ok"),
         "Connection error 10043 (unexpected reply to AUTH): 250 2.0.0 Ok"},
        {"greeting refused", Failure(SmtpStep::Greeting, ErrorCode::UnexpectedReply, 554, "554 go away"),
         "Connection error 10043 (unexpected reply from the server): 554 go away"},
        // A reply of several lines reads as one.
        {"recipient refused",
         Failure(SmtpStep::Rcpt, ErrorCode::UnexpectedReply, 550, "550 5.1.1 no such user\r\n550 try later"),
         "550 5.1.1 no such user try later"},
        {"a positive reply where a refusal was due",
         Failure(SmtpStep::EndOfData, ErrorCode::UnexpectedReply, 251, "251 ok"),
         "unexpected reply to end of data: 251 ok"},
        {"words of the connection", tls,
         "TLS handshake failed: certificate verify failed (hostname mismatch)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FailureText(c.Error), c.Text) << c.Name;
}

} // namespace
} // namespace turnpost
