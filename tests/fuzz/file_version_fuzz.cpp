// libFuzzer target: an update program as the hostile network could send it, through the reading
// of its version resource and the release test built on it. Every read of a cut image runs on a
// copy of exactly its own size, so that the sanitizer sees any read past the end.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "tolm/update/file_version.h"
#include "tolm/update/verdict.h"

namespace {

using FileVersion = std::optional<std::array<std::uint16_t, 4>>;

FileVersion readCut(std::string_view image, std::size_t length) {
    std::unique_ptr<char[]> exact(new char[length]);
    std::copy_n(image.data(), length, exact.get());
    return tolm::readFileVersion(std::string_view(exact.get(), length));
}

std::string text(const forms::Version& v) {
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.revision);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view image(reinterpret_cast<const char*>(data), size);
    FileVersion whole = tolm::readFileVersion(image);

    // An image cut short reads as no version or as the whole one: never as another, read from
    // beyond its end.
    auto cut = [&](std::size_t length) {
        FileVersion v = readCut(image, length);
        if (v && v != whole) std::abort();
        return v.has_value();
    };
    if (size > 0) cut(size - 1);
    cut(size / 2);
    if (whole) {
        // The shortest cut that still reads; every longer one reads as well and every shorter
        // one nothing (sampled on both sides).
        if (cut(0)) std::abort();
        std::size_t lo = 0, hi = size;  // cut(lo) reads nothing, cut(hi) reads
        while (hi - lo > 1) {
            std::size_t mid = lo + (hi - lo) / 2;
            (cut(mid) ? hi : lo) = mid;
        }
        for (std::size_t n : {hi + 1, hi + (size - hi) / 2})
            if (n <= size && !cut(n)) std::abort();
        for (std::size_t n : {lo / 2, lo - lo / 4})
            if (cut(n)) std::abort();
    }

    // Release a.b.c is numbered a.b.0.c, and the release test takes exactly the announced
    // release when it is newer, whatever the bytes around the version resource.
    std::optional<forms::Version> release = tolm::readReleaseVersion(image);
    if (release.has_value() != (whole && (*whole)[2] == 0)) std::abort();
    const forms::Version own{1, 0, 34};
    tolm::UpdateVerdict verdict = tolm::judgeRelease(image, release ? text(*release) : "1.0.35", own);
    if (!release) {
        if (verdict != tolm::UpdateVerdict::NotAnnounced) std::abort();
    } else {
        bool newer = std::tuple(release->major, release->minor, release->revision) > std::tuple(1, 0, 34);
        if (verdict != (newer ? tolm::UpdateVerdict::Verified : tolm::UpdateVerdict::NotNewer)) std::abort();
        forms::Version other = *release;
        other.revision ^= 1;
        if (tolm::judgeRelease(image, text(other), own) != tolm::UpdateVerdict::NotAnnounced) std::abort();
    }
    return 0;
}
