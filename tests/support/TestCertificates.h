#pragma once

#include "support/TempDir.h"

#include <string>

namespace turnpost::test {

/// A certificate authority of its own and two server certificates signed by it, made with the
/// openssl command: one for "localhost", 127.0.0.1 and ::1, one for another host name only.
class TestCertificates
{
public:
    TestCertificates();

    /// False when the openssl command failed; Error says how.
    bool IsValid() const { return m_Error.empty(); }
    const std::string& Error() const { return m_Error; }

    std::string AuthorityFile() const { return m_Dir.File("ca.pem"); }
    std::string LocalCertificate() const { return m_Dir.File("local.pem"); }
    std::string LocalKey() const { return m_Dir.File("local.key"); }
    /// Issued to OtherHostName only.
    std::string OtherCertificate() const { return m_Dir.File("other.pem"); }
    std::string OtherKey() const { return m_Dir.File("other.key"); }
    static constexpr const char* OtherHostName = "mail.other.test";

private:
    bool Run(const std::string& command);
    bool Issue(const std::string& name, const std::string& subjectAltName);

    TempDir m_Dir;
    std::string m_Error;
};

} // namespace turnpost::test
