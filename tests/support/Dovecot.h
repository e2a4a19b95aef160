#pragma once

#include "support/TempDir.h"
#include "support/TestCertificates.h"

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace turnpost::test {

/// A Dovecot IMAP server of the tests' own, on free loopback ports, with a private certificate
/// authority (TestCertificates). Started once per test program by Shared() and stopped at its end.
///
/// Addresses: 127.0.0.1 shows the certificate for localhost/127.0.0.1; 127.0.0.2 shows one issued to
/// another host name; 127.0.0.3 leaves MOVE out of its capabilities. Each listens on StartTlsPort()
/// (STARTTLS) and ImplicitTlsPort() (TLS from the first byte). A bearer token is taken when it equals
/// the user's password.
class Dovecot
{
public:
    static constexpr const char* WrongNameAddress = "127.0.0.2";
    static constexpr const char* NoMoveAddress = "127.0.0.3";

    /// The server of this test program, started on first use.
    static Dovecot& Shared();

    Dovecot();
    ~Dovecot();
    Dovecot(const Dovecot&) = delete;
    Dovecot& operator=(const Dovecot&) = delete;

    /// False when Dovecot could not be started (not installed); Error() says why.
    bool IsRunning() const { return m_Pid > 0; }
    const std::string& Error() const { return m_Error; }
    std::uint16_t StartTlsPort() const { return m_StartTlsPort; }
    std::uint16_t ImplicitTlsPort() const { return m_ImplicitTlsPort; }
    /// The private authority's certificate, for SSL_CERT_FILE.
    std::string AuthorityFile() const { return m_Certificates.AuthorityFile(); }

    static constexpr int MaxUsers = 64;

    /// A user of his own for one test, with an empty mailbox; his password is "pw-" + name. There are
    /// MaxUsers of them.
    std::string NewUser();
    static std::string Password(const std::string& user) { return "pw-" + user; }

    /// Stores a message in a folder of the user's, creating the folder; false when doveadm failed.
    bool Save(const std::string& user, const std::string& folder, const std::string& message);
    /// The mechanism of the user's first login ("PLAIN", "OAUTHBEARER", ...), from Dovecot's log;
    /// empty when he has not logged in.
    std::string LoginMethod(const std::string& user) const;
    /// What doveadm prints for the arguments after "-c CONFIG" (e.g. "mailbox list -u alice").
    std::string Doveadm(const std::string& arguments) const;

private:
    bool Start();

    TempDir m_Dir;
    TestCertificates m_Certificates;
    pid_t m_Pid = -1;
    std::uint16_t m_StartTlsPort = 0;
    std::uint16_t m_ImplicitTlsPort = 0;
    std::string m_Error;
    int m_Users = 0;
};

} // namespace turnpost::test
