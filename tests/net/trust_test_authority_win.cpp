// trust-test-authority add|remove FILE.der: adds a test authority to, or removes it from, the
// LocalMachine Root store of the Wine prefix it runs in, so that the TLS tests' certificates are
// trusted there and nowhere else.

#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::string action = argc == 3 ? argv[1] : "";
    if (action != "add" && action != "remove") {
        std::fprintf(stderr, "usage: trust-test-authority add|remove FILE.der\n");
        return 2;
    }
    std::ifstream file(argv[2], std::ios::binary);
    const std::vector<BYTE> der((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
    const HCERTSTORE root =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (root == nullptr) {
        std::fprintf(stderr, "trust-test-authority: no Root store (%lu)\n", GetLastError());
        return 1;
    }
    PCCERT_CONTEXT added = nullptr;
    BOOL done = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(),
                                                 static_cast<DWORD>(der.size()),
                                                 CERT_STORE_ADD_REPLACE_EXISTING, &added);
    // Removing takes the stored copy, which the add above found or made.
    if (done && action == "remove")
        done = CertDeleteCertificateFromStore(added);
    else if (added != nullptr)
        CertFreeCertificateContext(added);
    if (!done)
        std::fprintf(stderr, "trust-test-authority: %s failed (%lu)\n", action.c_str(),
                     GetLastError());
    CertCloseStore(root, 0);
    return done ? 0 : 1;
}
