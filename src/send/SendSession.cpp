#include "send/SendSession.h"

#include "mail/MailMessage.h"
#include "send/FailureText.h"

#include <algorithm>
#include <utility>

namespace turnpost {

CSendSession::CSendSession(const ConnectionSettings& settings)
    : m_Settings(settings), m_Keep(settings.Security != SmtpSecurity::None || !settings.User.empty())
{
}

CSendSession::~CSendSession()
{
    Close();
}

const CMailAttachment* CSendSession::Universe(const std::string& path)
{
    // A failure, or a held text, stands for the run; a streamed file is measured anew for each message.
    const bool settled = !m_UniverseLoaded || m_Universe.IsHeld();
    if (!m_UniverseTried || path != m_UniversePath || !settled) {
        m_UniverseTried = false;
        m_UniverseLoaded = false;
        // Memory that runs out here fails this player only: the next one tries again.
        m_UniverseLoaded =
            m_Universe.Open(path) && (m_Universe.GetSize() >= HeldUniverseSize || m_Universe.Load(path));
        m_UniversePath = path;
        m_UniverseTried = true;
    }
    return m_UniverseLoaded ? &m_Universe : nullptr;
}

namespace {

/// The line's error text. Commands sent as a group (PIPELINING) are answered in a row, so a refusal
/// names the command it answers.
std::string DeliveryFailure(const CSMTPConnection& smtp)
{
    const SmtpError& error = smtp.GetError();
    std::string text = FailureText(error);
    const bool grouped =
        error.Step == SmtpStep::Mail || error.Step == SmtpStep::Rcpt || error.Step == SmtpStep::Data;
    if (smtp.OffersPipelining() && grouped && error.Text.empty() && error.ReplyCode >= 400)
        text += std::string(" (reply to ") + StepName(error.Step) + ")";
    return text;
}

} // namespace

bool CSendSession::Connect(std::string& error, const std::string& who, bool smtpUtf8)
{
    if (!m_Settings.Error.empty()) {
        error = m_Settings.Error;
        return false;
    }
    if (!m_StopReason.empty()) {
        error = "not sent: " + m_StopReason;
        return false;
    }
    if (m_Smtp && m_Smtp->IsReusable())
        return true;
    Close();
    m_Smtp = std::make_unique<CSMTPConnection>();
    m_Settings.Apply(*m_Smtp);
    m_Smtp->SetSmtpUtf8Wanted(smtpUtf8);
    if (m_Smtp->Connect(m_Settings.Server))
        return true;
    m_LoginRefused = m_LoginRefused || m_Smtp->GetError().LoginRefused();
    m_StopReason = StopReasonAfter(m_Smtp->GetError(), who);
    error = FailureText(m_Smtp->GetError());
    m_Smtp.reset();
    return false;
}

void CSendSession::FollowWith(const CMailMessage& next)
{
    m_Following = std::make_unique<CMailMessage>();
    m_Following->From = next.From;
    for (int i = 0; i < next.GetRecipientCount(); ++i)
        m_Following->AddRecipient(next.GetRecipient(i));
    m_NothingFollows = false;
}

void CSendSession::FollowWithNothing()
{
    m_Following.reset();
    m_NothingFollows = true;
}

bool CSendSession::Deliver(const CMailMessage& message, std::string& error, const std::string& who,
                           std::string* reply)
{
    // What follows holds for this mail only; a connection per mail has nothing to pipeline into.
    const std::unique_ptr<CMailMessage> following = std::move(m_Following);
    SmtpFollowUp followUp;
    followUp.Next = m_Keep ? following.get() : nullptr;
    const bool nothingFollows = std::exchange(m_NothingFollows, false);
    followUp.Quit = m_Keep && nothingFollows;
    for (bool retried = false;; retried = true) {
        if (!Connect(error, who, message.NeedsSmtpUtf8()))
            return false;
        if (m_Smtp->SendMessage(message, followUp)) {
            if (reply)
                *reply = m_Smtp->GetReplyText();
            // An unanswered QUIT does not undo a delivery the server has accepted.
            if (!m_Keep)
                Close();
            return true;
        }
        // Read before RSET or QUIT overwrites the reply and the error number.
        error = DeliveryFailure(*m_Smtp);
        if (!m_Keep) {
            Close();
            return false;
        }
        if (m_Smtp->IsReusable()) {
            if (!m_Smtp->Reset())
                Close();
            return false;
        }
        // A server that limits the messages per connection, or dropped an idle one, ends it before
        // this message began: nothing of it was taken, so it may go over a new connection.
        const bool untouched = m_Smtp->MessageUntaken();
        Close();
        if (!untouched || retried)
            return false;
    }
}

void CSendSession::ForgetRefusedPassword(IUserInterface& ui) const
{
    if (m_LoginRefused)
        m_Settings.ForgetRefusedPassword(ui);
}

void CSendSession::BeforePause(int milliseconds)
{
    if (milliseconds > LongestIdle)
        Close();
}

std::int32_t CSendSession::QuitTimeout(std::int32_t timeout, bool keepsConnection)
{
    if (timeout < 0)
        timeout = DefaultSmtpTimeout;
    // A plain dialogue waits for QUIT's reply like for any other; only the shared connection, which
    // has already delivered everything, is not worth a long wait at its end.
    return keepsConnection ? std::min(timeout, QuitGrace) : timeout;
}

void CSendSession::Close()
{
    if (!m_Smtp)
        return;
    if (m_Smtp->IsConnected()) {
        m_Smtp->SetTimeout(QuitTimeout(m_Settings.Timeout, m_Keep));
        m_Smtp->Disconnect();
    }
    m_Smtp.reset();
}

} // namespace turnpost
