#include "send/FailureText.h"

#include "mail/ServerText.h"

namespace turnpost {

namespace {

std::string WaitingFor(SmtpStep step)
{
    if (step == SmtpStep::Greeting)
        return "the greeting";
    return std::string("the reply to ") + StepName(step);
}

std::string Reason(const SmtpError& error)
{
    switch (error.Code()) {
    case ErrorCode::TimedOut:
        if (error.Step == SmtpStep::Connect || error.Step == SmtpStep::Tls || error.Step == SmtpStep::None)
            return ErrorReason(error.Number);
        return "timed out waiting for " + WaitingFor(error.Step);
    case ErrorCode::ConnectionClosed:
        if (error.Step == SmtpStep::Connect || error.Step == SmtpStep::None)
            return ErrorReason(error.Number);
        return ErrorReason(error.Number) + " (waiting for " + WaitingFor(error.Step) + ")";
    case ErrorCode::UnexpectedReply:
        if (error.LoginRefused())
            return "the server refused the login";
        // A positive reply or one without a code is no refusal: only the step explains it.
        if (error.ReplyCode < 400)
            return std::string("unexpected reply to ") + StepName(error.Step);
        return ErrorReason(error.Number);
    default:
        return ErrorReason(error.Number);
    }
}

} // namespace

std::string FailureText(const SmtpError& error)
{
    if (!error.Text.empty())
        return PrintableText(error.Text);
    const std::string reply = PrintableReply(error.Reply);
    if (IsDeliveryStep(error.Step)) {
        // The server's own words say best why it refused the mail.
        if (error.Code() == ErrorCode::UnexpectedReply && error.ReplyCode >= 400 && !reply.empty())
            return reply;
        std::string text = Reason(error);
        if (!reply.empty())
            text += ": " + reply;
        return text;
    }
    std::string text = "Connection error " + std::to_string(error.Number) + " (" + Reason(error) + ")";
    if (!reply.empty())
        text += ": " + reply;
    return text;
}

} // namespace turnpost
