#include "support/TestCertificates.h"

#include <cstdlib>

namespace turnpost::test {

namespace {
const char* const KeyOptions = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
}

TestCertificates::TestCertificates()
{
    const std::string ca = m_Dir.File("ca");
    if (!Run(std::string("openssl req -x509 ") + KeyOptions + " -keyout '" + ca + ".key' -out '" + ca +
             ".pem' -days 2 -subj '/CN=Turnpost Test Authority'" +
             " -addext 'basicConstraints=critical,CA:TRUE' -addext 'keyUsage=critical,keyCertSign,cRLSign'"))
        return;
    if (!Issue("local", "DNS:localhost,IP:127.0.0.1,IP:::1"))
        return;
    Issue("other", std::string("DNS:") + OtherHostName);
}

bool TestCertificates::Issue(const std::string& name, const std::string& subjectAltName)
{
    const std::string base = m_Dir.File(name);
    const std::string extensions =
        m_Dir.Write(name + ".ext", "subjectAltName=" + subjectAltName +
                                       "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
    return Run(std::string("openssl req ") + KeyOptions + " -keyout '" + base + ".key' -out '" + base +
               ".csr' -subj '/CN=" + name + "'") &&
           Run("openssl x509 -req -in '" + base + ".csr' -CA '" + m_Dir.File("ca.pem") + "' -CAkey '" +
               m_Dir.File("ca.key") + "' -CAcreateserial -out '" + base + ".pem' -days 2 -extfile '" +
               extensions + "'");
}

bool TestCertificates::Run(const std::string& command)
{
    const std::string log = m_Dir.File("openssl.log");
    if (std::system((command + " >>'" + log + "' 2>&1").c_str()) != 0) {
        m_Error = "failed: " + command + "\n" + ReadFileBytes(log);
        return false;
    }
    return true;
}

} // namespace turnpost::test
