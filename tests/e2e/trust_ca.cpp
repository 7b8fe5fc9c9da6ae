// Makes a test CA trusted by the machine, as an administrator's certificate import would: in
// the local machine's root store, through the system's own certificate store calls. Run in the
// tests' Wine prefix only. Certificates named like the given one that earlier runs left there
// are taken out first, so that only this run's CA is trusted.
// Usage: trust_ca CA.der
#include <windows.h>
// after windows.h
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<BYTE> readFile(const wchar_t* path) {
    std::vector<BYTE> bytes;
    HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(f, &size) && size.QuadPart > 0 && size.QuadPart < (1 << 20)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        if (!ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size())
            bytes.clear();
    }
    CloseHandle(f);
    return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trust_ca CA.der\n");
        return 2;
    }
    std::vector<BYTE> der = readFile(argv[1]);
    PCCERT_CONTEXT ca =
        der.empty() ? nullptr
                    : CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
    if (!ca) {
        std::fprintf(stderr, "trust_ca: no DER certificate in %ls\n", argv[1]);
        return 1;
    }
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!root) {
        std::fprintf(stderr, "trust_ca: cannot open the machine's root store (error %lu)\n", GetLastError());
        return 1;
    }
    // Deleting a certificate frees its context, so the search starts over after each.
    for (PCCERT_CONTEXT old; (old = CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_NAME,
                                                               &ca->pCertInfo->Subject, nullptr)) != nullptr;)
        CertDeleteCertificateFromStore(old);
    // Written out at once: Wine keeps a store open after a deletion, and would write nothing at
    // its close.
    bool added = CertAddCertificateContextToStore(root, ca, CERT_STORE_ADD_NEW, nullptr) &&
                 CertControlStore(root, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    DWORD error = GetLastError();
    CertCloseStore(root, 0);
    CertFreeCertificateContext(ca);
    if (!added) {
        std::fprintf(stderr, "trust_ca: the root store did not take the certificate (error %lu)\n", error);
        return 1;
    }
    return 0;
}
