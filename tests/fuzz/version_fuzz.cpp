// libFuzzer target: the version text of the motto page as the hostile web could send it,
// through the version test. Its verdicts must agree with each other: whether the text is a
// version does not depend on the version it is compared with, a text names at most one version,
// and blanks and leading zeros change nothing. A release written out in any of the accepted
// forms reads back as itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "tolm/update/version.h"

namespace {

using tolm::CheckVersion;
using tolm::VersionCheck;

// The text's three pieces: split at the first two dots, the third keeping any further ones.
struct Pieces {
    std::string_view piece[3];
    bool three = false;
};
Pieces split(std::string_view text) {
    Pieces p;
    std::size_t a = text.find('.');
    std::size_t b = a == std::string_view::npos ? a : text.find('.', a + 1);
    if (b == std::string_view::npos) return p;
    p.piece[0] = text.substr(0, a), p.piece[1] = text.substr(a + 1, b - a - 1), p.piece[2] = text.substr(b + 1);
    p.three = true;
    return p;
}

// A plain reading of one piece, on purpose narrower than the test's own: blanks, one sign,
// up to nine digits after leading zeros, a fraction of zeros.
std::optional<int> plainNumber(std::string_view s) {
    s.remove_prefix(std::min(s.find_first_not_of(" \t"), s.size()));
    s.remove_suffix(s.size() - std::min(s.size(), s.find_last_not_of(" \t") + 1));
    bool negative = !s.empty() && s[0] == '-';
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) s.remove_prefix(1);
    if (std::size_t dot = s.find('.'); dot != std::string_view::npos) {
        if (s.size() == 1 || s.find_first_not_of('0', dot + 1) != std::string_view::npos) return std::nullopt;
        s = dot == 0 ? "0" : s.substr(0, dot);
    }
    if (s.empty()) return std::nullopt;
    s.remove_prefix(std::min(s.find_first_not_of('0'), s.size() - 1));
    if (s.size() > 9) return std::nullopt;
    int n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (negative && n != 0) return std::nullopt;
    return n;
}

forms::Version changed(forms::Version v, int which) {
    (which == 0 ? v.major : which == 1 ? v.minor : v.revision) += 1;
    return v;
}

// The release written out with the decorations that `style` picks: blanks or tabs around the
// numbers, leading zeros, plus signs (minus on the first), a fraction of zeros or a bare dot after
// the last. A `fraction` given replaces the last one's.
std::string written(forms::Version v, unsigned style, std::string fraction = {}) {
    std::string blank = style & 1 ? (style & 32 ? "\t" : " ") : "";
    auto number = [&](int n, std::string sign, std::string tail) {
        return blank + sign + (style & 2 ? "00" : "") + std::to_string(n) + tail + blank;
    };
    std::string plus = style & 4 ? "+" : "";
    if (fraction.empty()) fraction = style & 8 ? ".00" : style & 16 ? "." : "";
    return number(v.major, style & 64 ? "-" : plus, "") + "." + number(v.minor, plus, "") + "." +
           number(v.revision, plus, fraction);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const forms::Version own{1, 0, 34};
    const VersionCheck verdict = CheckVersion(text, own);
    Pieces pieces = split(text);
    if (!pieces.three && verdict != VersionCheck::Unknown) std::abort();

    // The version the text names, read plainly where it can be: the test must see it there too.
    std::optional<forms::Version> named;
    if (pieces.three) {
        auto a = plainNumber(pieces.piece[0]), b = plainNumber(pieces.piece[1]), c = plainNumber(pieces.piece[2]);
        if (a && b && c) named = forms::Version{*a, *b, *c};
    }
    if (named && CheckVersion(text, *named) != VersionCheck::Same) std::abort();

    for (const forms::Version& base : {own, named.value_or(own)}) {
        VersionCheck against = CheckVersion(text, base);
        for (int i = 0; i < 3; ++i) {
            VersionCheck other = CheckVersion(text, changed(base, i));
            if ((other == VersionCheck::Unknown) != (against == VersionCheck::Unknown)) std::abort();
            if (against == VersionCheck::Same && other != VersionCheck::Differs) std::abort();
        }
    }

    if (pieces.three) {
        // Blanks around the three numbers, and a leading zero on each, read the same. A leading
        // zero can make a number of an empty piece, so it is tried only on a version.
        std::string spaced = " " + std::string(pieces.piece[0]) + "\t. " + std::string(pieces.piece[1]) + " .\t" +
                             std::string(pieces.piece[2]) + "\t ";
        if (CheckVersion(spaced, own) != verdict) std::abort();
        if (verdict != VersionCheck::Unknown) {
            std::string zeroed;
            for (int i = 0; i < 3; ++i) {
                std::string p(pieces.piece[i]);
                std::size_t at = std::min(p.find_first_not_of(" \t"), p.size());
                if (at < p.size() && (p[at] == '+' || p[at] == '-')) ++at;
                zeroed += (i ? "." : "") + p.insert(at, "0");
            }
            if (CheckVersion(zeroed, own) != verdict) std::abort();
        }
    }

    // A release from the input's first bytes, written out in the style its seventh picks.
    if (size >= 7) {
        auto u16 = [&](std::size_t at) { return int{data[at]} | int{data[at + 1]} << 8; };
        const forms::Version release{u16(0), u16(2), u16(4)};
        const unsigned style = data[6];
        std::string t = written(release, style);
        // Minus zero is zero; a minus on any other number, or a fraction that is not zero,
        // names another version.
        bool same = !(style & 64) || release.major == 0;
        if (CheckVersion(t, release) != (same ? VersionCheck::Same : VersionCheck::Differs)) std::abort();
        for (int i = 0; i < 3; ++i)
            if (CheckVersion(t, changed(release, i)) != VersionCheck::Differs) std::abort();
        if (CheckVersion(written(release, style, ".0" + std::to_string(1 + style % 9)), release) !=
            VersionCheck::Differs)
            std::abort();
    }
    return 0;
}
