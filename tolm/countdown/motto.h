#pragma once
// The text steps of reading the motto page: what the body's markup gives for the motto and
// for the published version.
#include <optional>
#include <string>
#include <string_view>

namespace tolm {

struct MottoText {
    std::string motto;                   // the text before the first "|" (all of it without one)
    std::optional<std::string> version;  // everything after the first "|"; nothing without one
};

// Cuts the markup at the first "<SCRIPT" (exact case: the browser writes element names in
// capitals, so a script a web host appends is found), then splits the rest at the first "|".
MottoText splitMotto(std::string_view html);

}  // namespace tolm
