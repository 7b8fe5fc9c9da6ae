#pragma once
// The version test: does the published version differ from the program's own?
#include <string>
#include <string_view>

#include "platform/forms/backend.h"

namespace tolm {

// The latest published version, as the motto page gave it; empty until the page is read.
extern std::string LatestVersion;

enum class VersionCheck {
    Same,     // all three numbers equal the program's own
    Differs,  // at least one differs (a lower version counts as well: difference, not order)
    Unknown,  // a piece is missing or not a number, so nothing can be compared
};

// Splits `published` at "." into at most three pieces (the third keeps further dots) and
// compares each, read as a number with surrounding blanks ignored, with the own version.
VersionCheck CheckVersion(std::string_view published, forms::Version own);

}  // namespace tolm
