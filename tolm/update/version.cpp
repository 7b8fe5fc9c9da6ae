#include "tolm/update/version.h"

#include <optional>
#include <string>

namespace tolm {

std::string LatestVersion;

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Whether a piece reads as a number equal to `own`; nothing when it is not a number at all.
// A number is an optional sign, decimal digits and an optional fraction ("34.1" is a number
// that differs from 34). It is compared digit by digit, so a huge number cannot overflow
// into a match.
std::optional<bool> equalsNumber(std::string_view piece, int own) {
    std::string_view s = trim(piece);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    std::size_t dot = s.find('.');
    std::string_view whole = s.substr(0, dot);
    std::string_view fraction = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
    if (whole.empty() && fraction.empty()) return std::nullopt;
    for (char c : whole)
        if (!isDigit(c)) return std::nullopt;
    for (char c : fraction)
        if (!isDigit(c)) return std::nullopt;

    while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
    bool fractionZero = fraction.find_first_not_of('0') == std::string_view::npos;
    bool zero = whole.empty() && fractionZero;
    if (negative && !zero) return false;  // the own numbers are never negative
    std::string ownDigits = own == 0 ? std::string() : std::to_string(own);
    return fractionZero && whole == ownDigits;
}

}  // namespace

VersionCheck CheckVersion(std::string_view published, forms::Version own) {
    std::string_view pieces[3];
    std::size_t count = 0;
    std::string_view rest = published;
    while (count < 2) {
        std::size_t dot = rest.find('.');
        if (dot == std::string_view::npos) break;
        pieces[count++] = rest.substr(0, dot);
        rest = rest.substr(dot + 1);
    }
    pieces[count++] = rest;
    if (count < 3) return VersionCheck::Unknown;

    const int numbers[3] = {own.major, own.minor, own.revision};
    bool differs = false;
    for (int i = 0; i < 3; ++i) {
        std::optional<bool> same = equalsNumber(pieces[i], numbers[i]);
        if (!same) return VersionCheck::Unknown;
        differs = differs || !*same;
    }
    return differs ? VersionCheck::Differs : VersionCheck::Same;
}

}  // namespace tolm
