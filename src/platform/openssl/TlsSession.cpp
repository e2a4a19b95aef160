#include "platform/TlsSession.h"

#include "platform/Clock.h"
#include "platform/ErrorCode.h"
#include "platform/LastError.h"
#include "platform/TlsContext.h"
#include "platform/openssl/OpenSslError.h"
#include "platform/openssl/TlsState.h"
#include "platform/posix/Wait.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace turnpost {

namespace {

// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE when the peer has gone; this
// one sends with MSG_NOSIGNAL so that a closed connection is an error number, not a dead process.
int SocketFromBio(BIO* bio)
{
    return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

int BioWrite(BIO* bio, const char* data, int length)
{
    BIO_clear_retry_flags(bio);
    ssize_t sent;
    do {
        sent = ::send(SocketFromBio(bio), data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        BIO_set_retry_write(bio);
    return static_cast<int>(sent);
}

int BioRead(BIO* bio, char* buffer, int length)
{
    BIO_clear_retry_flags(bio);
    ssize_t received;
    do {
        received = ::recv(SocketFromBio(bio), buffer, static_cast<std::size_t>(length), 0);
    } while (received < 0 && errno == EINTR);
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        BIO_set_retry_read(bio);
    return static_cast<int>(received);
}

long BioControl(BIO*, int command, long, void*)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

const BIO_METHOD* SocketBioMethod()
{
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "turnpost socket");
        if (m != nullptr) {
            BIO_meth_set_write(m, BioWrite);
            BIO_meth_set_read(m, BioRead);
            BIO_meth_set_ctrl(m, BioControl);
        }
        return m;
    }();
    return method;
}

bool IsUnexpectedEof()
{
    const unsigned long code = ERR_peek_error();
    return ERR_GET_LIB(code) == ERR_LIB_SSL && ERR_GET_REASON(code) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
}

// The peer's port: sessions are kept per server, and one host may serve several.
int PeerPort(int socket)
{
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return 0;
    if (peer.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(&peer)->sin_port);
    if (peer.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_port);
    return 0;
}

} // namespace

// OpenSSL's side of the connection.
struct CTlsSession::CState
{
    enum class Step
    {
        Done,
        Retry,
        Failed
    };
    /// Turns the result of an OpenSSL call into done, retry (after waiting for the socket) or failed.
    Step Settle(CTlsSession& session, int result, std::uint32_t since, std::uint32_t timeoutMs,
                const char* what);

    SSL* Ssl = nullptr;
    int Socket = -1;
};

bool IsAddressLiteral(const std::string& host)
{
    in6_addr v6{};
    in_addr v4{};
    return ::inet_pton(AF_INET, host.c_str(), &v4) == 1 || ::inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

CTlsSession::CTlsSession() : m_State(std::make_unique<CState>()) {}

CTlsSession::~CTlsSession()
{
    Reset();
}

void CTlsSession::Reset()
{
    SSL_free(m_State->Ssl);
    m_State->Ssl = nullptr;
    m_Context.reset();
    m_Established = false;
    m_Failed = false;
    m_CertificateRejected = false;
    m_State->Socket = -1;
}

void CTlsSession::Fail(const char* what, const std::string& reason, std::uint32_t error)
{
    m_ErrorText = std::string(what) + " failed: " + reason;
    m_Failed = true;
    SetLastError(error);
}

bool CTlsSession::Handshake(SocketHandle handle, const std::string& host, std::uint32_t timeoutMs,
                            const std::shared_ptr<CTlsContext>& context)
{
    Reset();
    ERR_clear_error();
    m_ErrorText.clear();
    const int socket = static_cast<int>(handle);
    m_State->Socket = socket;
    SSL*& ssl = m_State->Ssl;
    const char* what = "TLS handshake";

    m_Context = context ? context : std::make_shared<CTlsContext>();
    if (!m_Context->IsValid()) {
        Fail(what, m_Context->GetErrorText(), TlsFailureError);
        return false;
    }
    BIO* bio = SocketBioMethod() ? BIO_new(SocketBioMethod()) : nullptr;
    if (bio == nullptr) {
        Fail(what, TakeOpenSslError(OpenSslText::Reason), TlsFailureError);
        return false;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(socket)));
    BIO_set_init(bio, 1);

    ssl = SSL_new(m_Context->m_State->Context);
    if (ssl == nullptr) {
        BIO_free(bio);
        Fail(what, TakeOpenSslError(OpenSslText::Reason), TlsFailureError);
        return false;
    }
    SSL_set_bio(ssl, bio, bio);
    m_Context->m_State->PrepareResumption(ssl, host + "|" + std::to_string(PeerPort(socket)));

    // RFC 6066 allows no address literals in server name indication; an address is checked against
    // the certificate's IP entries instead of its names (RFC 6125).
    bool named = true;
    if (IsAddressLiteral(host)) {
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) == 1;
    } else {
        SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        named = SSL_set1_host(ssl, host.c_str()) == 1 && SSL_set_tlsext_host_name(ssl, host.c_str()) == 1;
    }
    if (!named || host.empty()) {
        Fail(what, "invalid host name \"" + host + "\"", TlsFailureError);
        return false;
    }

    const std::uint32_t start = TickCount();
    for (;;) {
        errno = 0;
        const CState::Step step = m_State->Settle(*this, SSL_connect(ssl), start, timeoutMs, what);
        if (step == CState::Step::Done)
            break;
        if (step == CState::Step::Failed)
            return false;
    }
    m_Context->m_State->NoteHandshake(ssl);
    m_Established = true;
    return true;
}

CTlsSession::CState::Step CTlsSession::CState::Settle(CTlsSession& session, int result, std::uint32_t since,
                                                      std::uint32_t timeoutMs, const char* what)
{
    if (result > 0)
        return Step::Done;
    const int savedErrno = errno;
    short events = 0;
    switch (SSL_get_error(Ssl, result)) {
    case SSL_ERROR_WANT_READ:
        events = POLLIN;
        break;
    case SSL_ERROR_WANT_WRITE:
        events = POLLOUT;
        break;
    case SSL_ERROR_ZERO_RETURN:
        session.Fail(what, ErrorReason(ErrorCode::ConnectionClosed),
                     ErrorNumber(ErrorCode::ConnectionClosed));
        return Step::Failed;
    case SSL_ERROR_SYSCALL: {
        std::string reason = TakeOpenSslError(OpenSslText::Reason);
        if (reason.empty())
            reason = ErrorReason(savedErrno != 0 ? ErrorNumberFromErrno(savedErrno)
                                                 : ErrorNumber(ErrorCode::ConnectionClosed));
        session.Fail(what, reason,
                     savedErrno != 0 ? ErrorNumberFromErrno(savedErrno)
                                     : ErrorNumber(ErrorCode::ConnectionClosed));
        return Step::Failed;
    }
    default: {
        const long verify = SSL_get_verify_result(Ssl);
        std::string reason = TakeOpenSslError(OpenSslText::Reason);
        if (reason.empty())
            reason = "protocol error";
        if (verify != X509_V_OK) {
            reason += std::string(" (") + X509_verify_cert_error_string(verify) + ")";
            session.m_CertificateRejected = true;
        }
        session.Fail(what, reason, TlsFailureError);
        return Step::Failed;
    }
    }

    // Time that ran out before the wait counts as out, even with the socket ready.
    const int ready = TickCount() - since >= timeoutMs ? 0 : WaitUntil(Socket, events, since, timeoutMs);
    if (ready > 0)
        return Step::Retry;
    if (ready == 0) {
        session.Fail(what, "timed out", ErrorNumber(ErrorCode::TimedOut));
        return Step::Failed;
    }
    const int errnum = errno;
    session.Fail(what, ErrorReason(ErrorNumberFromErrno(errnum)), ErrorNumberFromErrno(errnum));
    return Step::Failed;
}

bool CTlsSession::Write(const char* data, std::size_t length, std::uint32_t timeoutMs)
{
    if (!m_Established || m_Failed) {
        // The first failure stays the one reported: it is the cause.
        if (m_Failed)
            SetLastError(TlsFailureError);
        else
            Fail("TLS write", "no session", ErrorNumber(ErrorCode::NotConnected));
        return false;
    }
    ERR_clear_error();
    std::uint32_t lastProgress = TickCount();
    while (length > 0) {
        std::size_t written = 0;
        errno = 0;
        const int result = SSL_write_ex(m_State->Ssl, data, length, &written);
        if (result == 1) {
            data += written;
            length -= written;
            lastProgress = TickCount();
            continue;
        }
        if (m_State->Settle(*this, result, lastProgress, timeoutMs, "TLS write") == CState::Step::Failed)
            return false;
    }
    return true;
}

long CTlsSession::Receive(char* buffer, std::size_t length, std::uint32_t timeoutMs)
{
    if (!m_Established || m_Failed) {
        if (m_Failed)
            SetLastError(TlsFailureError);
        else
            Fail("TLS read", "no session", ErrorNumber(ErrorCode::NotConnected));
        return -1;
    }
    ERR_clear_error();
    // Handshake messages after the handshake (TLS 1.3 tickets, key updates) are no data; a write
    // they need on the way is bounded from the call.
    const std::uint32_t start = TickCount();
    for (;;) {
        std::size_t got = 0;
        errno = 0;
        const int result = SSL_read_ex(m_State->Ssl, buffer, length, &got);
        if (result == 1)
            return static_cast<long>(got);
        const int kind = SSL_get_error(m_State->Ssl, result);
        // A server that drops the connection without close_notify has still closed it; SMTP's own
        // framing shows whether anything it said was cut short.
        if (kind == SSL_ERROR_ZERO_RETURN ||
            (kind == SSL_ERROR_SYSCALL && errno == 0 && ERR_peek_error() == 0) ||
            (kind == SSL_ERROR_SSL && IsUnexpectedEof())) {
            ERR_clear_error();
            return 0;
        }
        if (kind == SSL_ERROR_WANT_READ)
            return WouldBlock;
        if (m_State->Settle(*this, result, start, timeoutMs, "TLS read") == CState::Step::Failed)
            return -1;
    }
}

std::size_t CTlsSession::Pending() const
{
    return m_State->Ssl != nullptr ? static_cast<std::size_t>(SSL_pending(m_State->Ssl)) : 0;
}

void CTlsSession::Shutdown()
{
    if (m_Established && !m_Failed) {
        // One attempt on the non-blocking socket is enough: the connection is about to be closed
        // and SMTP has already ended with QUIT (RFC 8446 6.1 lets the closer not wait for a reply).
        SSL_shutdown(m_State->Ssl);
        ERR_clear_error();
    } else if (m_Established) {
        // No goodbye can go out any more. OpenSSL would then count the session as unresumable,
        // although a server that closes after a 421 (or without its close_notify) resets our QUIT
        // as a matter of course; since TLS 1.1 an unclean close need not cost the session (RFC 5246
        // 7.2.1). TLS's own failures (an alert sent or received) have already removed it.
        SSL_set_shutdown(m_State->Ssl, SSL_get_shutdown(m_State->Ssl) | SSL_SENT_SHUTDOWN);
    }
    m_Established = false;
}

} // namespace turnpost
