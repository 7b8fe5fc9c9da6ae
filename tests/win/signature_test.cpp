// The publisher's signature, checked with the system's cryptography against the demo key: the
// demo update as signed when it was built, and every way a signature can be wrong.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>

#include "platform/signature.h"

namespace {

std::string slurp(const std::string& relative) {
    char build[1024];
    GetEnvironmentVariableA("TOLM_BUILD_DIR", build, sizeof build);
    std::ifstream f(build + relative, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

TEST(Signature, OnlyThePublishersSignatureOverExactlyTheseBytesHolds) {
    const platform::P256PublicKey key{DEMO_KEY};
    std::string update = slurp("\\update-stub\\tolmupdate.exe"), sig = slurp("\\update-stub\\tolmupdate.exe.sig");
    std::string other = slurp("\\tests\\win\\sigdata\\other.bin"),
                otherSig = slurp("\\tests\\win\\sigdata\\other.bin.sig");
    ASSERT_GT(update.size(), 1000u);
    ASSERT_EQ(sig.size(), 64u);

    std::string flipped = sig, changed = update;
    flipped[40] = static_cast<char>(flipped[40] ^ 1);
    changed[changed.size() / 2] = static_cast<char>(changed[changed.size() / 2] ^ 0x80);
    platform::P256PublicKey offCurve = key;
    offCurve[63] = static_cast<unsigned char>(offCurve[63] ^ 1);

    struct Case {
        const char* what;
        const platform::P256PublicKey& key;
        std::string data, signature;
        bool holds;
    } cases[] = {
        {"the demo update as published", key, update, sig, true},
        {"another file signed with the same key", key, other, otherSig, true},
        {"a signature for another file", key, update, otherSig, false},
        {"one bit of the signature flipped", key, update, flipped, false},
        {"one byte of the program changed", key, changed, sig, false},
        {"the program cut short", key, update.substr(0, update.size() - 1), sig, false},
        {"signature cut short", key, update, sig.substr(0, 63), false},
        {"signature with a byte appended", key, update, sig + "x", false},
        {"a DER signature instead of r||s", key, update, std::string(72, '\x30'), false},
        {"all zero", key, update, std::string(64, '\0'), false},
        {"a key whose point is off the curve", offCurve, update, sig, false},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::verifyP256(c.key, c.data, c.signature), c.holds) << c.what;
}

}  // namespace
