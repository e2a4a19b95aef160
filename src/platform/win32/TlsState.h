#pragma once

#include "platform/TlsContext.h"

#include <mutex>
#include <windows.h>

// The newer credentials form (SCH_CREDENTIALS) is declared only with this, and needs UNICODE_STRING
// declared first.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>

#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>

namespace turnpost {

/// SChannel's side of a context: one credentials handle for the whole run. SChannel keeps the
/// sessions servers grant per credentials handle and target name, so sharing the handle is what lets
/// the next connection to a server resume.
struct CTlsContext::CState
{
    CState() = default;
    CState(const CState&) = delete;
    CState& operator=(const CState&) = delete;
    ~CState()
    {
        if (HasCredentials)
            ::FreeCredentialsHandle(&Credentials);
    }

    CredHandle Credentials{};
    bool HasCredentials = false;
    mutable std::mutex Mutex;
    int Resumed = 0;
};

} // namespace turnpost
