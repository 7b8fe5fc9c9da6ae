#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/signature.h"

namespace platform {

namespace {

bool ok(NTSTATUS status) {
    return status >= 0;
}

// Provider and key handles that close themselves.
struct Algorithm {
    BCRYPT_ALG_HANDLE h = nullptr;
    explicit Algorithm(const wchar_t* id) {
        if (!ok(BCryptOpenAlgorithmProvider(&h, id, nullptr, 0))) h = nullptr;
    }
    ~Algorithm() {
        if (h) BCryptCloseAlgorithmProvider(h, 0);
    }
};
struct Key {
    BCRYPT_KEY_HANDLE h = nullptr;
    ~Key() {
        if (h) BCryptDestroyKey(h);
    }
};
struct Hash {
    BCRYPT_HASH_HANDLE h = nullptr;
    ~Hash() {
        if (h) BCryptDestroyHash(h);
    }
};

bool sha256(std::string_view data, unsigned char (&digest)[32]) {
    Algorithm alg(BCRYPT_SHA256_ALGORITHM);
    Hash hash;
    if (!alg.h || !ok(BCryptCreateHash(alg.h, &hash.h, nullptr, 0, nullptr, 0, 0))) return false;
    // BCryptHashData takes a ULONG length; feed large inputs in parts.
    for (std::size_t at = 0; at < data.size();) {
        ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(data.size() - at, 1u << 20));
        auto* bytes = reinterpret_cast<PUCHAR>(const_cast<char*>(data.data() + at));
        if (!ok(BCryptHashData(hash.h, bytes, chunk, 0))) return false;
        at += chunk;
    }
    return ok(BCryptFinishHash(hash.h, digest, sizeof digest, 0));
}

}  // namespace

bool verifyP256(const P256PublicKey& key, std::string_view data, std::string_view signature) {
    if (signature.size() != kP256SignatureBytes) return false;
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
    if (!ok(BCryptImportKeyPair(ecdsa.h, nullptr, BCRYPT_ECCPUBLIC_BLOB, &k.h, blob.data(),
                                static_cast<ULONG>(blob.size()), 0)))
        return false;
    unsigned char sig[kP256SignatureBytes];
    std::memcpy(sig, signature.data(), sizeof sig);
    return ok(BCryptVerifySignature(k.h, nullptr, digest, sizeof digest, sig, sizeof sig, 0));
}

}  // namespace platform
