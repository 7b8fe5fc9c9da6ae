#include "tolm/update/verdict.h"

#include <optional>
#include <tuple>

#include "platform/signature.h"
#include "tolm/update/file_version.h"
#include "tolm/update/version.h"

namespace tolm {

UpdateVerdict judgeUpdate(const platform::FetchResult& signature, const platform::FetchResult& program,
                          const UpdateVerifier& verify) {
    // A 404 page or half a file is no update, whatever the transfer itself reported.
    if (!signature.ok()) return UpdateVerdict::NoSignature;
    if (!program.ok()) return UpdateVerdict::NotTransferred;
    if (!platform::readP256Signature(signature.body) || !verify || !verify(program.body, signature.body))
        return UpdateVerdict::WrongSignature;
    return UpdateVerdict::Verified;
}

UpdateVerdict judgeRelease(std::string_view program, std::string_view announced, forms::Version own) {
    std::optional<forms::Version> release = readReleaseVersion(program);
    if (!release || CheckVersion(announced, *release) != VersionCheck::Same) return UpdateVerdict::NotAnnounced;
    auto order = [](const forms::Version& v) { return std::tuple(v.major, v.minor, v.revision); };
    return order(*release) > order(own) ? UpdateVerdict::Verified : UpdateVerdict::NotNewer;
}

}  // namespace tolm
