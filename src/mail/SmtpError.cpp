#include "mail/SmtpError.h"

namespace turnpost {

const char* StepName(SmtpStep step)
{
    switch (step) {
    case SmtpStep::None:
        return "the server";
    case SmtpStep::Connect:
        return "the connection";
    case SmtpStep::Tls:
        return "the TLS handshake";
    case SmtpStep::Greeting:
        return "the greeting";
    case SmtpStep::Ehlo:
        return "EHLO";
    case SmtpStep::Helo:
        return "HELO";
    case SmtpStep::StartTls:
        return "STARTTLS";
    case SmtpStep::Auth:
        return "AUTH";
    case SmtpStep::Mail:
        return "MAIL FROM";
    case SmtpStep::Rcpt:
        return "RCPT TO";
    case SmtpStep::Data:
        return "DATA";
    case SmtpStep::EndOfData:
        return "end of data";
    case SmtpStep::Quit:
        return "QUIT";
    }
    return "the server";
}

bool IsDeliveryStep(SmtpStep step)
{
    return step == SmtpStep::Mail || step == SmtpStep::Rcpt || step == SmtpStep::Data ||
           step == SmtpStep::EndOfData;
}

bool SmtpError::LoginRefused() const
{
    if (Step != SmtpStep::Auth || Code() != ErrorCode::UnexpectedReply)
        return false;
    return ReplyCode == 535 || ReplyCode == 534 || ReplyCode == 538 || ReplyCode == 530;
}

} // namespace turnpost
