#pragma once
// What the update's bytes must be before anything is put in place or started: both files whole
// with status 200, the publisher's signature over exactly the program, and the program the
// announced release, newer than the running one.
#include <functional>
#include <string_view>

#include "platform/fetch.h"
#include "platform/forms/backend.h"

namespace tolm {

enum class UpdateVerdict {
    Verified,        // both arrived whole with status 200 and the signature holds
    NoSignature,     // the signature did not arrive whole with status 200
    NotTransferred,  // the program did not arrive whole with status 200
    WrongSignature,  // not the publisher's signature over exactly these bytes
    NotAnnounced,    // signed, but its version resource names no release or another than announced
    NotNewer,        // signed and announced, but not newer than the running program
};

// The release the verified bytes say they are must be the one the motto page announced, and
// newer than the running program: an old signed release served again must not roll it back.
UpdateVerdict judgeRelease(std::string_view program, std::string_view announced, forms::Version own);

using UpdateVerifier = std::function<bool(std::string_view data, std::string_view signature)>;

// Only a verified update may be put in place and started; every other verdict is a failure.
UpdateVerdict judgeUpdate(const platform::FetchResult& signature, const platform::FetchResult& program,
                          const UpdateVerifier& verify);

}  // namespace tolm
