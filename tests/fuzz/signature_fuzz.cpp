// libFuzzer target: the update's signature file and program as the hostile network could send
// them, through the reading of the signature and the verdict on the transfer. The system's own
// check of the numbers runs on Windows only; here a stand-in answers as the input says, and the
// verdict must follow it, and nothing else, once both files are whole.
//
// Input: a byte of flags (each transfer's outcome and status, whether a key is present and what
// it answers), the signature's length, the signature, then the program.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "platform/signature.h"
#include "tolm/update/verdict.h"

using platform::FetchResult;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const unsigned flags = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    std::string_view sig = rest.substr(0, data[1]), program = rest.substr(sig.size());

    std::optional<platform::P256Signature> read = platform::readP256Signature(sig);
    if (read.has_value() != (sig.size() == platform::kP256SignatureBytes)) std::abort();
    if (read && std::string_view(reinterpret_cast<const char*>(read->data()), read->size()) != sig) std::abort();

    auto transfer = [](unsigned bits, std::string_view body) {
        FetchResult r;
        r.outcome = static_cast<FetchResult::Outcome>(bits & 3);
        r.status = bits & 4 ? 200 : 404;
        r.body = body;
        return r;
    };
    FetchResult sigResult = transfer(flags, sig), programResult = transfer(flags >> 3, program);
    const bool keyPresent = flags & 0x80, keyAnswer = flags & 0x40;
    int asked = 0;
    tolm::UpdateVerifier verify;
    if (keyPresent)
        verify = [&](std::string_view d, std::string_view s) {
            // The key sees exactly the program and the signature that arrived.
            if (d != program || s != sig) std::abort();
            ++asked;
            return keyAnswer;
        };

    using tolm::UpdateVerdict;
    UpdateVerdict got = tolm::judgeUpdate(sigResult, programResult, verify);
    UpdateVerdict want = !sigResult.ok()       ? UpdateVerdict::NoSignature
                         : !programResult.ok() ? UpdateVerdict::NotTransferred
                         : read && keyPresent && keyAnswer ? UpdateVerdict::Verified
                                                           : UpdateVerdict::WrongSignature;
    if (got != want) std::abort();
    // The key is asked only about a whole pair with a signature of the right form, and once.
    if (asked != (sigResult.ok() && programResult.ok() && read && keyPresent ? 1 : 0)) std::abort();
    return 0;
}
