#include "platform/signature.h"

#include <algorithm>

namespace platform {

std::optional<P256Signature> readP256Signature(std::string_view file) {
    if (file.size() != kP256SignatureBytes) return std::nullopt;
    P256Signature signature;
    std::copy(file.begin(), file.end(), signature.begin());
    return signature;
}

}  // namespace platform
