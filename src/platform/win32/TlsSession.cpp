#include "platform/TlsSession.h"

#include "platform/Clock.h"
#include "platform/ErrorCode.h"
#include "platform/LastError.h"
#include "platform/TlsContext.h"
#include "platform/win32/SocketWait.h"
#include "platform/win32/TlsState.h"
#include "platform/win32/Wide.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <wincrypt.h>
#include <winsock2.h>
#include <ws2tcpip.h>

namespace turnpost {

namespace {

constexpr DWORD RequestFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                               ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                               ISC_REQ_MANUAL_CRED_VALIDATION;

// wininet's SECURITY_FLAG_IGNORE_CERT_CN_INVALID, which the SSL policy takes as well.
constexpr DWORD IgnoreNameMismatch = 0x00001000;

std::string Hex(unsigned long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", value);
    return text;
}

// SChannel's failures in words, close to how other TLS libraries put them.
std::string SecurityReason(SECURITY_STATUS status)
{
    switch (status) {
    case SEC_E_ILLEGAL_MESSAGE:
        return "protocol error (illegal message)";
    case SEC_E_ALGORITHM_MISMATCH:
        return "no protocol version or cipher in common";
    case SEC_E_UNSUPPORTED_FUNCTION:
        return "unsupported protocol";
    case SEC_E_DECRYPT_FAILURE:
    case SEC_E_MESSAGE_ALTERED:
        return "bad record (decryption failed)";
    case SEC_E_INTERNAL_ERROR:
        return "internal error";
    case SEC_E_INVALID_TOKEN:
        return "protocol error (invalid token)";
    default:
        return "security error " + Hex(static_cast<unsigned long>(status));
    }
}

// The reason a chain is not trusted, as the most telling of its status bits says it.
std::string ChainReason(DWORD status, DWORD length)
{
    if (status & CERT_TRUST_IS_PARTIAL_CHAIN)
        return "unable to get local issuer certificate";
    if (status & CERT_TRUST_IS_UNTRUSTED_ROOT)
        return length <= 1 ? "self-signed certificate" : "self-signed certificate in certificate chain";
    if (status & CERT_TRUST_IS_NOT_TIME_VALID)
        return "certificate has expired or is not yet valid";
    if (status & CERT_TRUST_IS_REVOKED)
        return "certificate revoked";
    if (status & CERT_TRUST_IS_NOT_SIGNATURE_VALID)
        return "certificate signature failure";
    if (status & CERT_TRUST_IS_NOT_VALID_FOR_USAGE)
        return "unsupported certificate purpose";
    return "certificate chain error " + Hex(status);
}

std::string PolicyReason(DWORD error, bool address)
{
    switch (error) {
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
        return address ? "IP address mismatch" : "hostname mismatch";
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
        return "self-signed certificate in certificate chain";
    case static_cast<DWORD>(CERT_E_CHAINING):
        return "unable to get local issuer certificate";
    case static_cast<DWORD>(CERT_E_EXPIRED):
        return "certificate has expired";
    case static_cast<DWORD>(CERT_E_WRONG_USAGE):
        return "unsupported certificate purpose";
    case static_cast<DWORD>(CRYPT_E_REVOKED):
        return "certificate revoked";
    default:
        return "certificate policy error " + Hex(error);
    }
}

// True when data starts as TLS records do: a content type from change_cipher_spec to heartbeat
// and major version 3.
bool LooksLikeRecords(const std::string& data)
{
    const auto type = static_cast<unsigned char>(data[0]);
    return type >= 20 && type <= 24 && (data.size() < 2 || data[1] == 3);
}

// The address's bytes, four or sixteen; empty for a name.
std::string AddressBytes(const std::string& host)
{
    in6_addr v6{};
    in_addr v4{};
    if (::inet_pton(AF_INET, host.c_str(), &v4) == 1)
        return std::string(reinterpret_cast<const char*>(&v4), sizeof v4);
    if (::inet_pton(AF_INET6, host.c_str(), &v6) == 1)
        return std::string(reinterpret_cast<const char*>(&v6), sizeof v6);
    return {};
}

// An address is matched against the certificate's IP entries only, never its names; not every
// system's policy check does that, so it is done here.
bool CertificateNamesAddress(PCCERT_CONTEXT certificate, const std::string& address)
{
    const PCERT_EXTENSION extension = ::CertFindExtension(
        szOID_SUBJECT_ALT_NAME2, certificate->pCertInfo->cExtension, certificate->pCertInfo->rgExtension);
    if (extension == nullptr)
        return false;
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD size = 0;
    if (!::CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                               extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size))
        return false;
    bool found = false;
    for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
        found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
                std::string(reinterpret_cast<const char*>(entry.IPAddress.pbData), entry.IPAddress.cbData) ==
                    address;
    }
    ::LocalFree(names);
    return found;
}

} // namespace

bool IsAddressLiteral(const std::string& host)
{
    in6_addr v6{};
    in_addr v4{};
    return ::inet_pton(AF_INET, host.c_str(), &v4) == 1 || ::inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

// SChannel's side of the connection: its context, the records read but not yet decrypted, and the
// decrypted bytes not yet handed out.
struct CTlsSession::CState
{
    ~CState() { DropContext(); }
    void DropContext()
    {
        if (HasContext)
            ::DeleteSecurityContext(&Context);
        HasContext = false;
    }

    /// Decrypts the whole records read so far into Plain, so that Pending counts all that can be had
    /// without the socket; timeoutMs bounds an answer TLS may need to send on the way.
    bool Decrypt(CTlsSession& session, std::uint32_t timeoutMs);

    SOCKET Socket = INVALID_SOCKET;
    CtxtHandle Context{};
    bool HasContext = false;
    SecPkgContext_StreamSizes Sizes{};
    std::string Received;
    std::string Plain;
    bool PeerClosed = false;
};

namespace {

enum class Transfer
{
    Done,
    TimedOut,
    Failed ///< WSAGetLastError says why; WSAECONNRESET for a peer that closed
};

// Sends all of data, waiting while the peer takes nothing for at most timeoutMs.
Transfer SendAll(SOCKET socket, const char* data, std::size_t length, std::uint32_t timeoutMs)
{
    std::uint32_t lastProgress = TickCount();
    while (length > 0) {
        const int piece = length > INT_MAX ? INT_MAX : static_cast<int>(length);
        const int sent = ::send(socket, data, piece, 0);
        if (sent > 0) {
            data += sent;
            length -= static_cast<std::size_t>(sent);
            lastProgress = TickCount();
            continue;
        }
        if (sent == SOCKET_ERROR && ::WSAGetLastError() != WSAEWOULDBLOCK)
            return Transfer::Failed;
        const int ready = WaitSocket(socket, SocketEvent::Writable, lastProgress, timeoutMs);
        if (ready == 0)
            return Transfer::TimedOut;
        if (ready < 0)
            return Transfer::Failed;
    }
    return Transfer::Done;
}

// One receive appended to into: Done with bytes added, TimedOut when none could be had (without
// waiting when would-block is all), Failed otherwise (a peer that closed gives WSAECONNRESET).
enum class Read
{
    Got,
    Nothing,
    Closed,
    Failed
};

Read ReceiveSome(SOCKET socket, std::string& into)
{
    char buffer[16 * 1024];
    const int n = ::recv(socket, buffer, sizeof buffer, 0);
    if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
        return Read::Got;
    }
    if (n == 0)
        return Read::Closed;
    return ::WSAGetLastError() == WSAEWOULDBLOCK ? Read::Nothing : Read::Failed;
}

} // namespace

CTlsSession::CTlsSession() : m_State(std::make_unique<CState>()) {}

CTlsSession::~CTlsSession()
{
    Reset();
}

void CTlsSession::Reset()
{
    m_State->DropContext();
    m_State->Socket = INVALID_SOCKET;
    m_State->Received.clear();
    m_State->Plain.clear();
    m_State->PeerClosed = false;
    m_Context.reset();
    m_Established = false;
    m_Failed = false;
    m_CertificateRejected = false;
}

void CTlsSession::Fail(const char* what, const std::string& reason, std::uint32_t error)
{
    m_ErrorText = std::string(what) + " failed: " + reason;
    m_Failed = true;
    SetLastError(error);
}

namespace {

// Why the server's certificate is not to be trusted for host; empty when it is.
std::string CertificateProblem(CtxtHandle& context, const std::string& host)
{
    PCCERT_CONTEXT certificate = nullptr;
    if (::QueryContextAttributesW(&context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) != SEC_E_OK ||
        certificate == nullptr)
        return "no peer certificate available";

    LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH),
                      const_cast<LPSTR>(szOID_SERVER_GATED_CRYPTO), const_cast<LPSTR>(szOID_SGC_NETSCAPE)};
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = sizeof usages / sizeof usages[0];
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    // The certificates the server sent along are in the certificate's own store: they may complete
    // the chain, but only a root the system trusts can end it.
    const BOOL built = ::CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore,
                                                 &chainPara, 0, nullptr, &chain);
    if (!built || chain == nullptr) {
        ::CertFreeCertificateContext(certificate);
        return "cannot build the certificate chain";
    }

    const std::string address = AddressBytes(host);
    const bool addressMatches = address.empty() || CertificateNamesAddress(certificate, address);
    ::CertFreeCertificateContext(certificate);

    std::string problem;
    // The policy check alone accepts a chain that stops short of a trusted root on some systems, so
    // the chain's own verdict is asked first.
    const DWORD trust = chain->TrustStatus.dwErrorStatus;
    if (trust != CERT_TRUST_NO_ERROR) {
        const DWORD length = chain->cChain > 0 ? chain->rgpChain[0]->cElement : 0;
        problem = ChainReason(trust, length);
    } else {
        std::wstring name = Widen(host);
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA extra{};
        extra.cbSize = sizeof extra;
        extra.dwAuthType = AUTHTYPE_SERVER;
        extra.pwszServerName = name.data();
        if (!address.empty())
            extra.fdwChecks = IgnoreNameMismatch;
        CERT_CHAIN_POLICY_PARA policyPara{};
        policyPara.cbSize = sizeof policyPara;
        policyPara.pvExtraPolicyPara = &extra;
        CERT_CHAIN_POLICY_STATUS status{};
        status.cbSize = sizeof status;
        if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policyPara, &status))
            problem = "cannot check the certificate policy";
        else if (status.dwError != 0)
            problem = PolicyReason(status.dwError, !address.empty());
        else if (!addressMatches)
            problem = "IP address mismatch";
    }
    ::CertFreeCertificateChain(chain);
    return problem;
}

} // namespace

bool CTlsSession::Handshake(SocketHandle handle, const std::string& host, std::uint32_t timeoutMs,
                            const std::shared_ptr<CTlsContext>& context)
{
    Reset();
    m_ErrorText.clear();
    CState& state = *m_State;
    state.Socket = static_cast<SOCKET>(handle);
    const char* what = "TLS handshake";

    m_Context = context ? context : std::make_shared<CTlsContext>();
    if (!m_Context->IsValid()) {
        Fail(what, m_Context->GetErrorText(), TlsFailureError);
        return false;
    }
    if (host.empty() || host.find('\0') != std::string::npos) {
        Fail(what, "invalid host name \"" + host + "\"", TlsFailureError);
        return false;
    }
    // The target name is what SChannel sends as the server name (none for an address) and what it
    // keeps sessions under.
    std::wstring target = Widen(host);
    CredHandle& credentials = m_Context->m_State->Credentials;

    const std::uint32_t start = TickCount();
    std::string& input = state.Received;
    bool needInput = false;
    for (;;) {
        if (needInput) {
            const Read read = ReceiveSome(state.Socket, input);
            if (read == Read::Nothing) {
                const int ready = WaitSocket(state.Socket, SocketEvent::Readable, start, timeoutMs);
                if (ready == 0) {
                    Fail(what, "timed out", ErrorNumber(ErrorCode::TimedOut));
                    return false;
                }
                if (ready < 0) {
                    const auto error = static_cast<std::uint32_t>(::WSAGetLastError());
                    Fail(what, ErrorReason(error), error);
                    return false;
                }
                continue;
            }
            if (read == Read::Closed) {
                Fail(what, ErrorReason(ErrorCode::ConnectionClosed),
                     ErrorNumber(ErrorCode::ConnectionClosed));
                return false;
            }
            if (read == Read::Failed) {
                const auto error = static_cast<std::uint32_t>(::WSAGetLastError());
                Fail(what, ErrorReason(error), error);
                return false;
            }
            // SChannel would wait for as many bytes as a bogus record header claims, so a server
            // that speaks something else (a plain greeting) is turned away here, at once.
            if (!LooksLikeRecords(input)) {
                Fail(what, "protocol error (the server's reply is no TLS record)", TlsFailureError);
                return false;
            }
        }

        SecBuffer in[2] = {};
        in[0].BufferType = SECBUFFER_TOKEN;
        in[0].cbBuffer = static_cast<unsigned long>(input.size());
        in[0].pvBuffer = input.data();
        in[1].BufferType = SECBUFFER_EMPTY;
        SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
        SecBuffer out[1] = {};
        out[0].BufferType = SECBUFFER_TOKEN;
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
        unsigned long attributes = 0;
        const bool first = !state.HasContext;
        const SECURITY_STATUS status = ::InitializeSecurityContextW(
            &credentials, first ? nullptr : &state.Context, target.data(), RequestFlags, 0, 0,
            first ? nullptr : &inDesc, 0, first ? &state.Context : nullptr, &outDesc, &attributes, nullptr);
        if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED))
            state.HasContext = true;

        // What SChannel has to say goes out first, an alert included.
        if (out[0].pvBuffer != nullptr) {
            const Transfer sent = out[0].cbBuffer > 0
                                      ? SendAll(state.Socket, static_cast<const char*>(out[0].pvBuffer),
                                                out[0].cbBuffer, timeoutMs)
                                      : Transfer::Done;
            ::FreeContextBuffer(out[0].pvBuffer);
            if (sent != Transfer::Done && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) {
                const std::uint32_t error = sent == Transfer::TimedOut
                                                ? ErrorNumber(ErrorCode::TimedOut)
                                                : static_cast<std::uint32_t>(::WSAGetLastError());
                Fail(what, sent == Transfer::TimedOut ? "timed out" : ErrorReason(error), error);
                return false;
            }
        }

        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            needInput = true;
            continue;
        }
        if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
            // The server asks for a client certificate; there is none, and the handshake goes on.
            needInput = false;
            continue;
        }
        if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
            Fail(what, SecurityReason(status), TlsFailureError);
            return false;
        }
        if (!first && in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0)
            input.erase(0, input.size() - in[1].cbBuffer);
        else
            input.clear();
        if (status == SEC_E_OK)
            break;
        needInput = input.empty();
    }

    const std::string problem = CertificateProblem(state.Context, host);
    if (!problem.empty()) {
        m_CertificateRejected = true;
        Fail(what, "certificate verify failed (" + problem + ")", TlsFailureError);
        return false;
    }
    if (::QueryContextAttributesW(&state.Context, SECPKG_ATTR_STREAM_SIZES, &state.Sizes) != SEC_E_OK) {
        Fail(what, "cannot read the record sizes", TlsFailureError);
        return false;
    }
    SecPkgContext_SessionInfo session{};
    if (::QueryContextAttributesW(&state.Context, SECPKG_ATTR_SESSION_INFO, &session) == SEC_E_OK &&
        (session.dwFlags & SSL_SESSION_RECONNECT) != 0) {
        const std::lock_guard lock(m_Context->m_State->Mutex);
        ++m_Context->m_State->Resumed;
    }
    // Records that came with the handshake's last message are decrypted now, or the caller, seeing
    // nothing pending, would wait for the socket in vain.
    if (!state.Decrypt(*this, timeoutMs))
        return false;
    m_Established = true;
    return true;
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
    CState& state = *m_State;
    const SecPkgContext_StreamSizes& sizes = state.Sizes;
    std::string record;
    while (length > 0) {
        const std::size_t piece = length < sizes.cbMaximumMessage ? length : sizes.cbMaximumMessage;
        record.assign(sizes.cbHeader + piece + sizes.cbTrailer, '\0');
        std::memcpy(record.data() + sizes.cbHeader, data, piece);
        SecBuffer buffers[4] = {};
        buffers[0].BufferType = SECBUFFER_STREAM_HEADER;
        buffers[0].cbBuffer = sizes.cbHeader;
        buffers[0].pvBuffer = record.data();
        buffers[1].BufferType = SECBUFFER_DATA;
        buffers[1].cbBuffer = static_cast<unsigned long>(piece);
        buffers[1].pvBuffer = record.data() + sizes.cbHeader;
        buffers[2].BufferType = SECBUFFER_STREAM_TRAILER;
        buffers[2].cbBuffer = sizes.cbTrailer;
        buffers[2].pvBuffer = record.data() + sizes.cbHeader + piece;
        buffers[3].BufferType = SECBUFFER_EMPTY;
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = ::EncryptMessage(&state.Context, 0, &desc, 0);
        if (status != SEC_E_OK) {
            Fail("TLS write", SecurityReason(status), TlsFailureError);
            return false;
        }
        // The trailer may come out shorter than its room.
        const std::size_t total = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
        const Transfer sent = SendAll(state.Socket, record.data(), total, timeoutMs);
        if (sent == Transfer::TimedOut) {
            Fail("TLS write", "timed out", ErrorNumber(ErrorCode::TimedOut));
            return false;
        }
        if (sent == Transfer::Failed) {
            const auto error = static_cast<std::uint32_t>(::WSAGetLastError());
            Fail("TLS write", ErrorReason(error), error);
            return false;
        }
        data += piece;
        length -= piece;
    }
    return true;
}

bool CTlsSession::CState::Decrypt(CTlsSession& session, std::uint32_t timeoutMs)
{
    CState& state = *this;
    while (!state.Received.empty() && !state.PeerClosed) {
        SecBuffer buffers[4] = {};
        buffers[0].BufferType = SECBUFFER_DATA;
        buffers[0].cbBuffer = static_cast<unsigned long>(state.Received.size());
        buffers[0].pvBuffer = state.Received.data();
        for (int i = 1; i < 4; ++i)
            buffers[i].BufferType = SECBUFFER_EMPTY;
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        // Under TLS 1.2 an alert shows in the record's header. After the handshake every alert
        // ends the stream (close_notify, or a fatal one), which not every SChannel reports as the
        // context's end: Wine's decrypts close_notify as an empty record.
        const bool alert = static_cast<unsigned char>(state.Received[0]) == 21;
        SECURITY_STATUS status = ::DecryptMessage(&state.Context, &desc, 0, nullptr);
        if (status == SEC_E_OK && alert)
            status = SEC_I_CONTEXT_EXPIRED;
        if (status == SEC_E_INCOMPLETE_MESSAGE)
            return true;
        if (status != SEC_E_OK && status != SEC_I_CONTEXT_EXPIRED && status != SEC_I_RENEGOTIATE) {
            session.Fail("TLS read", SecurityReason(status), TlsFailureError);
            return false;
        }
        std::string extra;
        for (const SecBuffer& buffer : buffers) {
            if (buffer.BufferType == SECBUFFER_DATA && buffer.cbBuffer > 0)
                state.Plain.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
            else if (buffer.BufferType == SECBUFFER_EXTRA && buffer.cbBuffer > 0)
                extra.assign(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
        }
        state.Received = std::move(extra);
        if (status == SEC_I_CONTEXT_EXPIRED) {
            // close_notify: nothing more comes.
            state.PeerClosed = true;
            state.Received.clear();
            return true;
        }
        if (status == SEC_I_RENEGOTIATE) {
            // Handshake messages after the handshake (TLS 1.3 tickets, key updates): SChannel takes
            // them through the handshake call and may have an answer to send.
            SecBuffer in[2] = {};
            in[0].BufferType = SECBUFFER_TOKEN;
            in[0].cbBuffer = static_cast<unsigned long>(state.Received.size());
            in[0].pvBuffer = state.Received.data();
            in[1].BufferType = SECBUFFER_EMPTY;
            SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
            SecBuffer out[1] = {};
            out[0].BufferType = SECBUFFER_TOKEN;
            SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
            unsigned long attributes = 0;
            const SECURITY_STATUS again = ::InitializeSecurityContextW(
                &session.m_Context->m_State->Credentials, &state.Context, nullptr, RequestFlags, 0, 0,
                &inDesc, 0, nullptr, &outDesc, &attributes, nullptr);
            Transfer sent = Transfer::Done;
            if (out[0].pvBuffer != nullptr) {
                if (out[0].cbBuffer > 0)
                    sent = SendAll(state.Socket, static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer,
                                   timeoutMs);
                ::FreeContextBuffer(out[0].pvBuffer);
            }
            if (again != SEC_E_OK && again != SEC_I_CONTINUE_NEEDED && again != SEC_E_INCOMPLETE_MESSAGE) {
                session.Fail("TLS read", SecurityReason(again), TlsFailureError);
                return false;
            }
            if (sent != Transfer::Done) {
                const std::uint32_t error = sent == Transfer::TimedOut
                                                ? ErrorNumber(ErrorCode::TimedOut)
                                                : static_cast<std::uint32_t>(::WSAGetLastError());
                session.Fail("TLS read", sent == Transfer::TimedOut ? "timed out" : ErrorReason(error),
                             error);
                return false;
            }
            if (again != SEC_E_INCOMPLETE_MESSAGE) {
                if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0)
                    state.Received.erase(0, state.Received.size() - in[1].cbBuffer);
                else
                    state.Received.clear();
            }
            if (again == SEC_E_INCOMPLETE_MESSAGE)
                return true;
        }
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
    CState& state = *m_State;
    if (state.Plain.empty() && !state.PeerClosed) {
        // Only what the socket has now: the caller waits for it itself.
        const Read read = ReceiveSome(state.Socket, state.Received);
        if (read == Read::Failed) {
            const auto error = static_cast<std::uint32_t>(::WSAGetLastError());
            Fail("TLS read", ErrorReason(error), error);
            return -1;
        }
        // A server that drops the connection without close_notify has still closed it; SMTP's own
        // framing shows whether anything it said was cut short.
        if (!state.Decrypt(*this, timeoutMs))
            return -1;
        if (read == Read::Closed)
            state.PeerClosed = true;
    }
    if (!state.Plain.empty()) {
        const std::size_t n = length < state.Plain.size() ? length : state.Plain.size();
        std::memcpy(buffer, state.Plain.data(), n);
        state.Plain.erase(0, n);
        // Whole records already read are decrypted now, so that Pending tells the caller not to
        // wait for the socket; a fault among them is reported by the next call.
        if (state.Plain.empty() && !state.Decrypt(*this, timeoutMs))
            SetLastError(ErrorCode::None);
        return static_cast<long>(n);
    }
    return state.PeerClosed ? 0 : WouldBlock;
}

std::size_t CTlsSession::Pending() const
{
    // Whole records are decrypted as soon as they are read, so the end of the stream may have been
    // read already while the socket shows nothing more: it counts as something to read, which
    // Receive then reports as 0.
    if (m_State->Plain.empty() && m_State->PeerClosed && m_Established)
        return 1;
    return m_State->Plain.size();
}

void CTlsSession::Shutdown()
{
    CState& state = *m_State;
    if (m_Established && !m_Failed && state.HasContext) {
        // One attempt on the non-blocking socket is enough: the connection is about to be closed
        // and SMTP has already ended with QUIT.
        DWORD token = SCHANNEL_SHUTDOWN;
        SecBuffer control{sizeof token, SECBUFFER_TOKEN, &token};
        SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
        if (::ApplyControlToken(&state.Context, &controlDesc) == SEC_E_OK) {
            SecBuffer out[1] = {};
            out[0].BufferType = SECBUFFER_TOKEN;
            SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
            unsigned long attributes = 0;
            const SECURITY_STATUS status = ::InitializeSecurityContextW(
                &m_Context->m_State->Credentials, &state.Context, nullptr, RequestFlags, 0, 0, nullptr, 0,
                nullptr, &outDesc, &attributes, nullptr);
            if (out[0].pvBuffer != nullptr) {
                if (status == SEC_E_OK && out[0].cbBuffer > 0)
                    ::send(state.Socket, static_cast<const char*>(out[0].pvBuffer),
                           static_cast<int>(out[0].cbBuffer), 0);
                ::FreeContextBuffer(out[0].pvBuffer);
            }
        }
    }
    m_Established = false;
}

} // namespace turnpost
