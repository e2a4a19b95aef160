#include "send/SendSession.h"

#include "mail/MailMessage.h"
#include "platform/Kernel.h"

#include <algorithm>

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
    if (!m_UniverseTried || path != m_UniversePath) {
        m_UniverseTried = true;
        m_UniversePath = path;
        m_UniverseLoaded = m_Universe.Load(path);
    }
    return m_UniverseLoaded ? &m_Universe : nullptr;
}

bool CSendSession::Connect(std::string& error)
{
    if (!m_Settings.Error.empty()) {
        error = m_Settings.Error;
        return false;
    }
    if (m_Smtp && m_Smtp->IsReusable())
        return true;
    Close();
    m_Smtp = std::make_unique<CSMTPConnection>();
    m_Settings.Apply(*m_Smtp);
    if (m_Settings.Connect(*m_Smtp))
        return true;
    error = ConnectErrorText(*m_Smtp, GetLastError());
    m_Smtp.reset();
    return false;
}

bool CSendSession::Deliver(const CMailMessage& message, std::string& error)
{
    for (bool retried = false;; retried = true) {
        if (!Connect(error))
            return false;
        if (m_Smtp->SendMessage(message)) {
            // An unanswered QUIT does not undo a delivery the server has accepted.
            if (!m_Keep)
                Close();
            return true;
        }
        // Read before RSET or QUIT overwrites the reply and the error number.
        error = DeliveryErrorText(*m_Smtp);
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
        const bool untouched = m_Smtp->ServerEnded() && m_Smtp->GetFailedCommand() == "MAIL FROM";
        Close();
        if (!untouched || retried)
            return false;
    }
}

void CSendSession::BeforePause(int milliseconds)
{
    if (milliseconds > LongestIdle)
        Close();
}

void CSendSession::Close()
{
    if (!m_Smtp)
        return;
    if (m_Smtp->IsConnected()) {
        const auto timeout = m_Settings.Timeout < 0
                                 ? static_cast<std::int32_t>(CSMTPConnection::DefaultTimeout)
                                 : m_Settings.Timeout;
        m_Smtp->SetTimeout(std::min(timeout, QuitGrace));
        m_Smtp->Disconnect();
    }
    m_Smtp.reset();
}

} // namespace turnpost
