#include "platform/TlsContext.h"

#include "platform/win32/TlsState.h"

#include <cstdio>

namespace turnpost {

namespace {

// Client credentials for TLS 1.2 and later. The server's certificate is checked by the session
// itself after the handshake (SChannel's own check would accept what Windows' policy alone accepts).
SECURITY_STATUS AcquireClientCredentials(CredHandle& handle)
{
    const DWORD flags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    TimeStamp expiry{};
    TLS_PARAMETERS parameters{};
    parameters.grbitDisabledProtocols =
        SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
    SCH_CREDENTIALS credentials{};
    credentials.dwVersion = SCH_CREDENTIALS_VERSION;
    credentials.dwFlags = flags;
    credentials.cTlsParameters = 1;
    credentials.pTlsParameters = &parameters;
    SECURITY_STATUS status =
        ::AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                    nullptr, &credentials, nullptr, nullptr, &handle, &expiry);
    if (status == SEC_E_OK)
        return status;
    // Systems before Windows 10 1809 (and Wine) know only the older form.
    SCHANNEL_CRED older{};
    older.dwVersion = SCHANNEL_CRED_VERSION;
    older.dwFlags = flags;
    older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;
    status = ::AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                         nullptr, &older, nullptr, nullptr, &handle, &expiry);
    if (status == SEC_E_OK)
        return status;
    // Without TLS 1.3 on offer, where the system does not have it.
    older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    return ::AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                       nullptr, &older, nullptr, nullptr, &handle, &expiry);
}

} // namespace

CTlsContext::CTlsContext() : m_State(std::make_unique<CState>())
{
    const SECURITY_STATUS status = AcquireClientCredentials(m_State->Credentials);
    if (status != SEC_E_OK) {
        char text[80];
        std::snprintf(text, sizeof text, "cannot get TLS client credentials (security error 0x%08lX)",
                      static_cast<unsigned long>(status));
        m_ErrorText = text;
        return;
    }
    m_State->HasCredentials = true;
}

CTlsContext::~CTlsContext() = default;

bool CTlsContext::IsValid() const
{
    return m_State->HasCredentials;
}

int CTlsContext::ResumedCount() const
{
    const std::lock_guard lock(m_State->Mutex);
    return m_State->Resumed;
}

} // namespace turnpost
