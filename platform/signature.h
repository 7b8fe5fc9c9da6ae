#pragma once
// Checks that a file comes from its publisher: an ECDSA P-256 signature over its SHA-256.
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace platform {

// A public key as the raw coordinates X||Y of its point, 32 bytes each, big-endian.
using P256PublicKey = std::array<unsigned char, 64>;
// A signature as the raw numbers r||s, 32 bytes each, big-endian; anything else is refused.
inline constexpr std::size_t kP256SignatureBytes = 64;
using P256Signature = std::array<unsigned char, kP256SignatureBytes>;

// The signature file as it arrived: exactly r||s. Any other length (a DER encoding, a 404 page,
// a byte short or over) is no signature. Whether the numbers hold is the system's check.
std::optional<P256Signature> readP256Signature(std::string_view file);

// Whether `signature` is the key's signature over the SHA-256 of `data`, checked with the
// system's cryptography (Windows builds only). A malformed key or signature is a wrong one.
bool verifyP256(const P256PublicKey& key, std::string_view data, std::string_view signature);

}  // namespace platform
