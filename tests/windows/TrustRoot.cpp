// Adds a PEM certificate to this user's trusted roots, so that tests under Wine can trust a CA of
// their own: turnpost_trust_root CA.pem
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <windows.h>

#include <wincrypt.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: turnpost_trust_root CERTIFICATE.pem\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    const std::string pem = text.str();
    if (!file || pem.empty()) {
        std::fprintf(stderr, "turnpost_trust_root: cannot read %s\n", argv[1]);
        return 1;
    }
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                              &size, nullptr, nullptr)) {
        std::fprintf(stderr, "turnpost_trust_root: %s holds no PEM certificate\n", argv[1]);
        return 1;
    }
    std::vector<BYTE> der(size);
    CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                         &size, nullptr, nullptr);
    // The user's own store: adding to it needs no administrator, and Wine asks no confirmation.
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (store == nullptr) {
        std::fprintf(stderr, "turnpost_trust_root: cannot open the Root store (error %lu)\n", GetLastError());
        return 1;
    }
    const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    const DWORD error = GetLastError();
    CertCloseStore(store, 0);
    if (!added) {
        std::fprintf(stderr, "turnpost_trust_root: cannot add the certificate (error %lu)\n", error);
        return 1;
    }
    return 0;
}
