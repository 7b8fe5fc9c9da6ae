#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/signature.h"

namespace platform {

namespace {

bool ok(NTSTATUS status) {
    return status >= 0;
}

// The check runs once per update, so the system's cryptography library is loaded then rather
// than with the program: on some systems it brings a whole TLS stack along, which a widget that
// never updates would carry all day. It comes from the system folder by its full path, never
// from a folder the user can write to: what it says decides what runs as administrator.
struct CryptoLibrary {
    decltype(&BCryptOpenAlgorithmProvider) openAlgorithm = nullptr;
    decltype(&BCryptCloseAlgorithmProvider) closeAlgorithm = nullptr;
    decltype(&BCryptCreateHash) createHash = nullptr;
    decltype(&BCryptHashData) hashData = nullptr;
    decltype(&BCryptFinishHash) finishHash = nullptr;
    decltype(&BCryptDestroyHash) destroyHash = nullptr;
    decltype(&BCryptImportKeyPair) importKeyPair = nullptr;
    decltype(&BCryptVerifySignature) verifySignature = nullptr;
    decltype(&BCryptDestroyKey) destroyKey = nullptr;
    bool loaded = false;

    CryptoLibrary() {
        wchar_t dir[MAX_PATH];
        UINT n = GetSystemDirectoryW(dir, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return;
        HMODULE lib = LoadLibraryW((std::wstring(dir, n) + L"\\bcrypt.dll").c_str());
        if (!lib) return;
        loaded = find(lib, "BCryptOpenAlgorithmProvider", openAlgorithm) &&
                 find(lib, "BCryptCloseAlgorithmProvider", closeAlgorithm) &&
                 find(lib, "BCryptCreateHash", createHash) && find(lib, "BCryptHashData", hashData) &&
                 find(lib, "BCryptFinishHash", finishHash) && find(lib, "BCryptDestroyHash", destroyHash) &&
                 find(lib, "BCryptImportKeyPair", importKeyPair) &&
                 find(lib, "BCryptVerifySignature", verifySignature) && find(lib, "BCryptDestroyKey", destroyKey);
    }

    template <typename F>
    static bool find(HMODULE lib, const char* name, F& f) {
        f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(lib, name)));
        return f != nullptr;
    }
};

// Loaded at the first check and kept for the rest of the run.
const CryptoLibrary& crypto() {
    static const CryptoLibrary library;
    return library;
}

// Provider and key handles that close themselves.
struct Algorithm {
    BCRYPT_ALG_HANDLE h = nullptr;
    explicit Algorithm(const wchar_t* id) {
        if (!ok(crypto().openAlgorithm(&h, id, nullptr, 0))) h = nullptr;
    }
    ~Algorithm() {
        if (h) crypto().closeAlgorithm(h, 0);
    }
};
struct Key {
    BCRYPT_KEY_HANDLE h = nullptr;
    ~Key() {
        if (h) crypto().destroyKey(h);
    }
};
struct Hash {
    BCRYPT_HASH_HANDLE h = nullptr;
    ~Hash() {
        if (h) crypto().destroyHash(h);
    }
};

bool sha256(std::string_view data, unsigned char (&digest)[32]) {
    Algorithm alg(BCRYPT_SHA256_ALGORITHM);
    Hash hash;
    if (!alg.h || !ok(crypto().createHash(alg.h, &hash.h, nullptr, 0, nullptr, 0, 0))) return false;
    // BCryptHashData takes a ULONG length; feed large inputs in parts.
    for (std::size_t at = 0; at < data.size();) {
        ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(data.size() - at, 1u << 20));
        auto* bytes = reinterpret_cast<PUCHAR>(const_cast<char*>(data.data() + at));
        if (!ok(crypto().hashData(hash.h, bytes, chunk, 0))) return false;
        at += chunk;
    }
    return ok(crypto().finishHash(hash.h, digest, sizeof digest, 0));
}

}  // namespace

bool verifyP256(const P256PublicKey& key, std::string_view data, std::string_view signature) {
    std::optional<P256Signature> sig = readP256Signature(signature);
    if (!sig || !crypto().loaded) return false;
    unsigned char digest[32];
    if (!sha256(data, digest)) return false;

    Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
    if (!ecdsa.h) return false;
    std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + key.size());
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, key.data(), key.size());
    Key k;
    // A point that is not on the curve is refused here, and then nothing verifies.
    if (!ok(crypto().importKeyPair(ecdsa.h, nullptr, BCRYPT_ECCPUBLIC_BLOB, &k.h, blob.data(),
                                static_cast<ULONG>(blob.size()), 0)))
        return false;
    return ok(crypto().verifySignature(k.h, nullptr, digest, sizeof digest, sig->data(),
                                       static_cast<ULONG>(sig->size()), 0));
}

}  // namespace platform
